#include "platform/SharedMemory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <vector>
#include <algorithm>

#include "core/EventLog.h"

namespace kv {

namespace {

std::mutex prefixMutex;
std::string namePrefix;

std::string SystemText(int err) { return std::system_category().message(err); }

}  // namespace

void SetSharedMemoryPrefix(const std::string& prefix) {
  std::lock_guard lock(prefixMutex);
  namePrefix = prefix;
}

std::string SharedMemoryPath(const std::string& name) {
  std::lock_guard lock(prefixMutex);
  return "/" + namePrefix + name;
}

// ---- ShmView ----

void ShmView::Require(size_t size) const {
  if (bytes_.size() < size)
    throw std::out_of_range("block of " + std::to_string(bytes_.size()) +
                            " bytes is shorter than its layout of " + std::to_string(size));
}

void ShmView::Check(size_t offset, size_t count) const {
  // Written so that a huge offset cannot wrap around.
  if (offset > bytes_.size() || count > bytes_.size() - offset)
    throw std::out_of_range("field at offset " + std::to_string(offset) + " (" +
                            std::to_string(count) + " bytes) lies past the end of a block of " +
                            std::to_string(bytes_.size()) + " bytes");
}

template <typename T>
T ShmView::Field(size_t offset) const {
  Check(offset, sizeof(T));
  T value;
  std::memcpy(&value, bytes_.data() + offset, sizeof(T));  // unaligned and little-endian
  return value;
}

uint8_t ShmView::Byte(size_t offset) const { return Field<uint8_t>(offset); }
int16_t ShmView::Int16(size_t offset) const { return Field<int16_t>(offset); }
uint16_t ShmView::UInt16(size_t offset) const { return Field<uint16_t>(offset); }
int32_t ShmView::Int32(size_t offset) const { return Field<int32_t>(offset); }
uint32_t ShmView::UInt32(size_t offset) const { return Field<uint32_t>(offset); }
float ShmView::Float(size_t offset) const { return Field<float>(offset); }
double ShmView::Double(size_t offset) const { return Field<double>(offset); }

std::string ShmView::Chars(size_t offset, size_t count) const {
  Check(offset, count);
  const char* p = reinterpret_cast<const char*>(bytes_.data() + offset);
  const void* nul = std::memchr(p, 0, count);
  return std::string(p, nul ? static_cast<size_t>(static_cast<const char*>(nul) - p) : count);
}

// ---- ReadSharedMemory ----

bool ReadSharedMemory(const std::string& name, tShmAccess access, const tShmReader& reader,
                      const tShmTags& tags) {
  const bool full = access == tShmAccess::Full;
  const int fd = ::shm_open(SharedMemoryPath(name).c_str(), (full ? O_RDWR : O_RDONLY) | O_CLOEXEC, 0);
  if (fd < 0) {
    // The program that publishes the block is not running: not an error.
    if (errno != ENOENT) LogEvent(std::string(tags.map) + "cannot open " + name + ": " + SystemText(errno));
    return false;
  }

  // The block is copied with pread rather than mapped: a copy of a few KiB costs a tenth of a
  // map and unmap, and a block that shrinks under our feet gives a short copy, not a SIGBUS.
  thread_local std::vector<std::byte> buffer;
  struct stat st {};
  bool copied = false;
  if (::fstat(fd, &st) != 0) {
    LogEvent(std::string(tags.map) + "cannot query " + name + ": " + SystemText(errno));
  } else if (st.st_size <= 0) {
    LogEvent(std::string(tags.map) + "cannot map " + name + ": the block is empty");
  } else {
    buffer.resize(std::min(static_cast<size_t>(st.st_size), MaxSharedMemoryRead));
    size_t got = 0;
    while (got < buffer.size()) {
      const ssize_t n = ::pread(fd, buffer.data() + got, buffer.size() - got, static_cast<off_t>(got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    buffer.resize(got);
    copied = got > 0;
    if (!copied) LogEvent(std::string(tags.map) + "cannot map " + name + ": " + SystemText(errno));
  }
  ::close(fd);
  if (!copied) return false;

  try {
    reader(ShmView(std::span<const std::byte>(buffer.data(), buffer.size())));
    return true;
  } catch (const std::exception& e) {
    LogError(tags.read, e);
  } catch (...) {
    LogUnknownError(tags.read);
  }
  return false;
}

// ---- SharedMemoryBlock ----

SharedMemoryBlock::~SharedMemoryBlock() {
  Unmap();
  Close();
}

bool SharedMemoryBlock::Create(const std::string& name, size_t size, unsigned mode) {
  Unmap();
  Close();
  lastError_.clear();
  const std::string path = SharedMemoryPath(name);
  const int fd = ::shm_open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, static_cast<mode_t>(mode));
  if (fd < 0) {
    lastError_ = SystemText(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    lastError_ = SystemText(errno);
  } else if (st.st_uid != ::geteuid()) {
    // Someone else created the name first; their block could feed us made-up values.
    lastError_ = "the block belongs to another user";
  } else if (::fchmod(fd, static_cast<mode_t>(mode)) != 0 ||
             ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
    lastError_ = SystemText(errno);
  }
  if (!lastError_.empty()) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  size_ = size;
  path_ = path;
  return true;
}

bool SharedMemoryBlock::Map() {
  if (fd_ < 0 || size_ == 0) {
    lastError_ = "no block to map";
    return false;
  }
  if (data_) return true;
  void* data = ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
  if (data == MAP_FAILED) {
    lastError_ = SystemText(errno);
    return false;
  }
  data_ = data;
  return true;
}

void SharedMemoryBlock::Unmap() {
  if (!data_) return;
  ::munmap(data_, size_);
  data_ = nullptr;
}

void SharedMemoryBlock::Close() {
  if (fd_ < 0) return;
  ::close(fd_);
  ::shm_unlink(path_.c_str());
  fd_ = -1;
  size_ = 0;
  path_.clear();
}

}  // namespace kv
