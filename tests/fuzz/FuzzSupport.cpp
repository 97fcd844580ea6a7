#include "FuzzSupport.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "core/EventLog.h"
#include "core/Process.h"
#include "platform/SharedMemory.h"
#include "support/SensorOrders.h"

namespace kvfuzz {

namespace {

std::string prefix;
kv::tProcessFacts facts;

// tmpfs keeps file writes (and the fsync of atomic writes) off the disk.
std::string ScratchParent() {
  if (const char* own = std::getenv("KV_FUZZ_TMPDIR"); own && *own) return own;
  struct stat st {};
  if (::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && ::access("/dev/shm", W_OK) == 0)
    return "/dev/shm";
  if (const char* tmp = std::getenv("TMPDIR"); tmp && *tmp) return tmp;
  return "/tmp";
}

void RemoveFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(Folder(), ignored);
}

}  // namespace

void Fail(const std::string& what) {
  std::fprintf(stderr, "fuzz property broken: %s\n", what.c_str());
  std::abort();
}

void Init() {
  static bool done = false;
  if (done) return;
  done = true;
  prefix = "kvfuzz-" + std::to_string(::getpid()) + "-";
  kv::SetSharedMemoryPrefix(prefix);
  kv::SetEventLogPath("/dev/null");
  kv::SetDebugMode(true);
  // The program folder sits inside the scratch folder, so "../SpeedFan/" beside it does too.
  facts.SettingsDir = Folder();
  facts.AppDir = Folder() + "app/";
  std::filesystem::create_directories(facts.AppDir);
  std::filesystem::create_directories(Folder() + "SpeedFan");
}

const std::string& Folder() {
  // Never destroyed: the exit handler that removes the folder still needs its name.
  static const std::string& folder = *[] {
    std::string pattern = ScratchParent() + "/kvfuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) Fail("cannot make a scratch folder: " + std::string(std::strerror(errno)));
    std::atexit(RemoveFolder);
    return new std::string(pattern + "/");
  }();
  return folder;
}

void WriteFile(const std::string& path, const void* data, size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) Fail("cannot write " + path + ": " + std::strerror(errno));
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n <= 0) Fail("cannot write " + path + ": " + std::strerror(errno));
    p += n;
    size -= static_cast<size_t>(n);
  }
  ::close(fd);
}

void WriteFile(const std::string& path, std::string_view text) { WriteFile(path, text.data(), text.size()); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

const kv::tProcessFacts& Facts() { return facts; }

kvtest::PassState& FreshSensorState() {
  static std::unique_ptr<kvtest::PassState> state;
  state.reset();
  state = std::make_unique<kvtest::PassState>();
  state->Process = facts;
  state->Pass.ResetReadings();
  kvtest::UseSourceOrderMaps(state->Settings);
  return *state;
}

// ---- Block ----

namespace {
std::string blockPath;
void UnlinkBlock() {
  if (!blockPath.empty()) ::shm_unlink(blockPath.c_str());
}
}  // namespace

Block::Block(const std::string& name) {
  blockPath = kv::SharedMemoryPath(name);
  if (blockPath.find("kvfuzz-") == std::string::npos) Fail("Init() must run before a Block is made");
  fd_ = ::shm_open(blockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) Fail("cannot create block " + blockPath + ": " + std::strerror(errno));
  std::atexit(UnlinkBlock);
}

void Block::Fill(const uint8_t* data, size_t size) {
  // Every byte below the new size is written next, so one truncation leaves nothing stale.
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
    Fail("cannot size block: " + std::string(std::strerror(errno)));
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
    if (n <= 0) Fail("cannot fill block: " + std::string(std::strerror(errno)));
    done += static_cast<size_t>(n);
  }
}

// ---- Seeds ----

std::string SeedFolder() {
  const char* folder = std::getenv("KV_FUZZ_WRITE_SEEDS");
  return folder && *folder ? std::string(folder) + "/" : std::string();
}

void WriteSeed(const std::string& name, std::string_view bytes) {
  std::filesystem::create_directories(SeedFolder());
  WriteFile(SeedFolder() + name, bytes);
}

void Image::Check(size_t offset, size_t count) const {
  if (offset + count > bytes_.size()) Fail("seed field past the end of its image");
}

}  // namespace kvfuzz
