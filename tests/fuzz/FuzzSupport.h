#pragma once
// What every harness shares: one scratch folder per process (on tmpfs where there is one), a
// quiet event log, real shared-memory blocks under a name prefix of this process, and a fresh
// readings and channel state for each input.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "support/PassState.h"

namespace kvfuzz {

// Points the event log at the null device with debug mode on, so every log line is still
// built from the hostile input but nothing reaches a disk; sets the shared-memory prefix.
// Every harness calls it from LLVMFuzzerInitialize.
void Init();

// The scratch folder of this process, ending in "/"; made on first use, removed at exit.
const std::string& Folder();

// Writes bytes as a whole plain file (no sync: the folder is scratch).
void WriteFile(const std::string& path, const void* data, size_t size);
void WriteFile(const std::string& path, std::string_view text);
std::string ReadFile(const std::string& path);
void RemoveFile(const std::string& path);

// Aborts with a message: a broken property is a finding like a crash.
[[noreturn]] void Fail(const std::string& what);

// The harness's folders: the settings folder is the scratch folder, the program folder app/
// inside it. Set by Init().
const kv::tProcessFacts& Facts();

// A state of the readers' own, made afresh for each input with the folders of Facts(): fresh
// settings, no readings, default channel names and the order maps the readvalue tests use, so
// the readers place values in every group.
kvtest::PassState& FreshSensorState();

// A named shared-memory block filled with the fuzz bytes, as the sensor program would leave
// it. The name is kept across inputs (only its size and bytes change) and removed at exit.
class Block {
 public:
  explicit Block(const std::string& name);
  void Fill(const uint8_t* data, size_t size);

 private:
  int fd_ = -1;
};

// Seed mode: when KV_FUZZ_WRITE_SEEDS names a folder, the harness writes its generated seed
// inputs there and exits. Answers the folder, or empty in normal runs.
std::string SeedFolder();
void WriteSeed(const std::string& name, std::string_view bytes);

// A little-endian byte image built field by field, for generated seeds.
class Image {
 public:
  explicit Image(size_t size) : bytes_(size, '\0') {}
  template <typename T>
  Image& Put(size_t offset, T value) {
    Check(offset, sizeof value);
    bytes_.replace(offset, sizeof value, reinterpret_cast<const char*>(&value), sizeof value);
    return *this;
  }
  Image& Text(size_t offset, std::string_view text) {
    Check(offset, text.size());
    bytes_.replace(offset, text.size(), text);
    return *this;
  }
  const std::string& Bytes() const { return bytes_; }

 private:
  void Check(size_t offset, size_t count) const;
  std::string bytes_;
};

}  // namespace kvfuzz
