#pragma once
// NVIDIA GPUs through the driver's management library, libnvidia-ml.so.1, opened with dlopen:
// no build or package dependency, and a machine without the driver maps nothing. Every call
// may block for seconds (a GPU waking from sleep), so only a worker thread uses this.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kv {

struct tNvmlGpu {
  std::string Name;
  std::optional<uint32_t> TempC, FanRpm, FanPercent;
  std::optional<uint32_t> PowerMw, PowerLimitMw;
  std::optional<uint32_t> LoadPercent, MemLoadPercent;
  std::optional<uint64_t> MemUsedBytes, MemTotalBytes;
  std::optional<uint32_t> CoreMhz, MemMhz;
};

// One loaded and initialised library. Not thread-safe: one thread owns it.
class tNvml {
 public:
  tNvml() = default;
  tNvml(const tNvml&) = delete;
  tNvml& operator=(const tNvml&) = delete;
  ~tNvml();

  // Loads and initialises the library and counts the devices. False with the reason in why
  // when the library is missing, fails to start, or finds no device.
  bool Open(std::string& why);
  // Every device's figures; a figure the driver does not give stays empty.
  std::vector<tNvmlGpu> ReadAll();
  // Shuts the library down and unloads it.
  void Close();

 private:
  struct tApi;
  tApi* api_ = nullptr;
  void* handle_ = nullptr;
  unsigned count_ = 0;
  bool initialised_ = false;
};

}  // namespace kv
