#include "platform/SharedMemory.h"

#include <fcntl.h>
#include <sys/inotify.h>
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

namespace {

// Opens a block by name. O_NONBLOCK keeps a planted FIFO from stopping the thread in open;
// O_NOFOLLOW refuses a planted link. -1 with `why` empty when the block does not exist.
int OpenBlock(const std::string& name, int flags, struct stat& st, std::string& why) {
  const int fd = ::shm_open(SharedMemoryPath(name).c_str(), flags | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0);
  if (fd < 0) {
    if (errno == ELOOP) why = "is a link, not a block";
    else if (errno != ENOENT) why = SystemText(errno);
    return -1;
  }
  if (::fstat(fd, &st) != 0) {
    why = "cannot query: " + SystemText(errno);
  } else if (!S_ISREG(st.st_mode)) {
    why = "is not a block (not a regular file)";
  }
  if (!why.empty()) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Copies the block behind fd into a per-thread buffer and hands it to reader.
bool CopyAndRead(int fd, const struct stat& st, const std::string& name, const tShmReader& reader,
                 const tShmTags& tags) {
  // The block is copied with pread rather than mapped: a copy of a few KiB costs a tenth of a
  // map and unmap, and a block that shrinks under our feet gives a short copy, not a SIGBUS.
  thread_local std::vector<std::byte> buffer;
  if (st.st_size <= 0) {
    LogEvent(std::string(tags.map) + "cannot map " + name + ": the block is empty");
    return false;
  }
  buffer.resize(std::min(static_cast<size_t>(st.st_size), MaxSharedMemoryRead));
  size_t got = 0;
  while (got < buffer.size()) {
    const ssize_t n = ::pread(fd, buffer.data() + got, buffer.size() - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  buffer.resize(got);
  if (got == 0) {
    LogEvent(std::string(tags.map) + "cannot map " + name + ": " + SystemText(errno));
    return false;
  }

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

bool ReadNamedBlock(const std::string& name, tShmAccess access, bool privateOnly, const tShmReader& reader,
                    const tShmTags& tags, tShmWatch* watch = nullptr) {
  if (watch != nullptr && watch->KnownMissing(name)) return false;
  struct stat st {};
  std::string why;
  const int fd = OpenBlock(name, access == tShmAccess::Full ? O_RDWR : O_RDONLY, st, why);
  if (fd < 0) {
    if (watch != nullptr && why.empty()) watch->NoteMissing(name);
    // A block that is not there means its program is not running: not an error.
    if (!why.empty()) LogEvent(std::string(tags.map) + "cannot open " + name + ": " + why);
    return false;
  }
  if (privateOnly && (st.st_uid != ::geteuid() || (st.st_mode & 077) != 0)) {
    ::close(fd);
    LogEvent(std::string(tags.map) + "refusing " + name + ": the block belongs to another user or is open to others");
    return false;
  }
  const bool read = CopyAndRead(fd, st, name, reader, tags);
  ::close(fd);
  return read;
}

}  // namespace

bool ReadSharedMemory(const std::string& name, tShmAccess access, const tShmReader& reader,
                      const tShmTags& tags, tShmWatch* watch) {
  return ReadNamedBlock(name, access, false, reader, tags, watch);
}

// ---- tShmWatch ----

tShmWatch::tShmWatch() {
  fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) return;
  // shm_open's names live in /dev/shm; a name appears by creation or by a rename into place.
  if (::inotify_add_watch(fd_, "/dev/shm", IN_CREATE | IN_MOVED_TO | IN_ONLYDIR) < 0) Stop();
}

tShmWatch::~tShmWatch() { Stop(); }

void tShmWatch::Stop() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  missing_.clear();
}

void tShmWatch::Update() {
  if (fd_ < 0) return;
  alignas(inotify_event) char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return;
    if (n <= 0) {
      Stop();
      return;
    }
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
      inotify_event event;
      std::memcpy(&event, buffer + at, sizeof event);
      if ((event.mask & (IN_Q_OVERFLOW | IN_IGNORED | IN_UNMOUNT)) != 0) {
        // Lost track, or the folder is gone: nothing is known missing any more.
        missing_.clear();
        if ((event.mask & IN_Q_OVERFLOW) == 0) Stop();
        if (fd_ < 0) return;
      } else if (event.len > 0 && at + static_cast<ssize_t>(sizeof event + event.len) <= n) {
        const char* name = buffer + at + sizeof event;
        missing_.erase("/" + std::string(name, strnlen(name, event.len)));
      }
      at += static_cast<ssize_t>(sizeof event + event.len);
    }
  }
}

bool tShmWatch::KnownMissing(const std::string& name) const {
  return fd_ >= 0 && !missing_.empty() && missing_.count(SharedMemoryPath(name)) != 0;
}

void tShmWatch::NoteMissing(const std::string& name) {
  if (fd_ >= 0) missing_.insert(SharedMemoryPath(name));
}

bool SharedMemoryExists(const std::string& name) {
  struct stat st {};
  std::string why;
  const int fd = OpenBlock(name, O_RDONLY, st, why);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

bool ReadPrivateSharedMemory(const std::string& name, tShmAccess access, const tShmReader& reader,
                             const tShmTags& tags, tShmWatch* watch) {
  return ReadNamedBlock(name, access, true, reader, tags, watch);
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
  const int fd = ::shm_open(path.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC,
                            static_cast<mode_t>(mode));
  if (fd < 0) {
    lastError_ = errno == ELOOP ? "the name is a link" : SystemText(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    lastError_ = SystemText(errno);
  } else if (!S_ISREG(st.st_mode)) {
    lastError_ = "the name is not a block";
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

bool SharedMemoryBlock::Read(const tShmReader& reader, const tShmTags& tags) const {
  if (fd_ < 0) return false;
  struct stat st {};
  if (::fstat(fd_, &st) != 0) {
    LogEvent(std::string(tags.map) + "cannot query " + path_ + ": " + SystemText(errno));
    return false;
  }
  return CopyAndRead(fd_, st, path_.substr(1), reader, tags);
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
