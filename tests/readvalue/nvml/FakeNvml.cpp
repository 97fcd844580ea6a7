// A stand-in for the NVIDIA driver's libnvidia-ml.so.1 on machines without an NVIDIA GPU: the
// entry points the monitor uses, with figures from the file named by KV_FAKE_NVML. Without that
// variable it answers like a machine whose driver is not loaded.
//
//   gpu <name>             starts a device; the lines after it describe it
//   temp <C> | fanrpm <rpm> | fan <percent> | power <mW> | limit <mW>
//   util <gpu %> <memory %> | mem <used bytes> <total bytes> | clock <core MHz> <memory MHz>
//   block <ms>             nvmlDeviceGetPowerUsage sleeps this long
// A figure left out answers "not supported".
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#define KV_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int Success = 0, InvalidArgument = 2, NotSupported = 3, DriverNotLoaded = 9;

struct tDevice {
  std::string name;
  std::vector<std::pair<std::string, std::vector<unsigned long long>>> figures;
  const std::vector<unsigned long long>* Find(const std::string& key) const {
    for (const auto& [k, v] : figures)
      if (k == key) return &v;
    return nullptr;
  }
};

std::mutex lock;
std::vector<tDevice> devices;
long blockMs = 0;
std::atomic<int> powerCalls{0};

bool Load() {
  const char* file = std::getenv("KV_FAKE_NVML");
  if (file == nullptr) return false;
  std::ifstream in(file);
  if (!in) return false;
  std::lock_guard guard(lock);
  devices.clear();
  blockMs = 0;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string key;
    words >> key;
    if (key == "gpu") {
      devices.emplace_back();
      std::getline(words >> std::ws, devices.back().name);
    } else if (key == "block") {
      words >> blockMs;
    } else if (!devices.empty() && !key.empty()) {
      std::vector<unsigned long long> values;
      for (unsigned long long v; words >> v;) values.push_back(v);
      devices.back().figures.emplace_back(key, values);
    }
  }
  return true;
}

// The device's figure number `at` of `key`; false when it has none.
bool Figure(void* device, const char* key, size_t at, unsigned long long& out) {
  Load();
  std::lock_guard guard(lock);
  const size_t index = reinterpret_cast<size_t>(device) - 1;
  if (index >= devices.size()) return false;
  const auto* values = devices[index].Find(key);
  if (values == nullptr || values->size() <= at) return false;
  out = (*values)[at];
  return true;
}

int Unsigned(void* device, const char* key, size_t at, unsigned* out) {
  unsigned long long v = 0;
  if (out == nullptr) return InvalidArgument;
  if (!Figure(device, key, at, v)) return NotSupported;
  *out = static_cast<unsigned>(v);
  return Success;
}

}  // namespace

KV_EXPORT int nvmlInit_v2() { return Load() ? Success : DriverNotLoaded; }
KV_EXPORT int nvmlShutdown() { return Success; }
KV_EXPORT const char* nvmlErrorString(int rc) { return rc == DriverNotLoaded ? "Driver Not Loaded" : "Unknown Error"; }
KV_EXPORT int nvmlDeviceGetCount_v2(unsigned* count) {
  Load();
  std::lock_guard guard(lock);
  *count = static_cast<unsigned>(devices.size());
  return Success;
}
KV_EXPORT int nvmlDeviceGetHandleByIndex_v2(unsigned index, void** device) {
  *device = reinterpret_cast<void*>(static_cast<size_t>(index) + 1);
  return Success;
}
KV_EXPORT int nvmlDeviceGetName(void* device, char* name, unsigned length) {
  Load();
  std::lock_guard guard(lock);
  const size_t index = reinterpret_cast<size_t>(device) - 1;
  if (index >= devices.size() || length == 0) return InvalidArgument;
  std::snprintf(name, length, "%s", devices[index].name.c_str());
  return Success;
}
KV_EXPORT int nvmlDeviceGetTemperature(void* device, int, unsigned* c) { return Unsigned(device, "temp", 0, c); }
KV_EXPORT int nvmlDeviceGetFanSpeed(void* device, unsigned* percent) { return Unsigned(device, "fan", 0, percent); }
struct tFanSpeedInfo {
  unsigned version, fan, speed;
};
KV_EXPORT int nvmlDeviceGetFanSpeedRPM(void* device, tFanSpeedInfo* info) {
  if (info == nullptr || info->version != (sizeof(tFanSpeedInfo) | (1u << 24))) return InvalidArgument;
  return Unsigned(device, "fanrpm", 0, &info->speed);
}
KV_EXPORT int nvmlDeviceGetPowerUsage(void* device, unsigned* mW) {
  ++powerCalls;
  const int rc = Unsigned(device, "power", 0, mW);
  long sleep = 0;
  {
    std::lock_guard guard(lock);
    sleep = blockMs;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(sleep));
  return rc;
}
KV_EXPORT int nvmlDeviceGetEnforcedPowerLimit(void* device, unsigned* mW) { return Unsigned(device, "limit", 0, mW); }
struct tUtilization {
  unsigned gpu, memory;
};
KV_EXPORT int nvmlDeviceGetUtilizationRates(void* device, tUtilization* u) {
  const int rc = Unsigned(device, "util", 0, &u->gpu);
  return rc != Success ? rc : Unsigned(device, "util", 1, &u->memory);
}
struct tMemory {
  unsigned long long total, free, used;
};
KV_EXPORT int nvmlDeviceGetMemoryInfo(void* device, tMemory* m) {
  if (!Figure(device, "mem", 0, m->used) || !Figure(device, "mem", 1, m->total)) return NotSupported;
  m->free = m->total - m->used;
  return Success;
}
KV_EXPORT int nvmlDeviceGetClockInfo(void* device, int type, unsigned* mhz) {
  return Unsigned(device, "clock", type == 2 ? 1 : 0, mhz);
}
// For the tests: how many power readings were asked for.
KV_EXPORT int fakeNvmlPowerCalls() { return powerCalls.load(); }
