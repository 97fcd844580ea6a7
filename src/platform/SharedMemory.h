#pragma once
// Named POSIX shared-memory blocks: the sensor programs' blocks, read once per pass, and the
// block this program offers to outside writers.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <unordered_set>

namespace kv {

static_assert(std::endian::native == std::endian::little,
              "shared-memory layouts and records are little-endian byte images");

// Every block name gets this prefix; tests set a unique one so parallel runs never meet.
void SetSharedMemoryPrefix(const std::string& prefix);
// "/" + prefix + name, the name shm_open sees.
std::string SharedMemoryPath(const std::string& name);

// Little-endian fields of a mapped block. Every read is bounds-checked: a field that does not
// lie wholly inside the block throws std::out_of_range, and nothing past the end is touched.
class ShmView {
 public:
  ShmView() = default;
  explicit ShmView(std::span<const std::byte> bytes) : bytes_(bytes) {}

  size_t Size() const { return bytes_.size(); }
  std::span<const std::byte> Bytes() const { return bytes_; }
  // Throws std::out_of_range when the block is shorter than a layout of `size` bytes.
  void Require(size_t size) const;

  uint8_t Byte(size_t offset) const;
  int16_t Int16(size_t offset) const;
  uint16_t UInt16(size_t offset) const;
  int32_t Int32(size_t offset) const;
  uint32_t UInt32(size_t offset) const;
  float Float(size_t offset) const;
  double Double(size_t offset) const;
  // A fixed char array of `count` bytes: the text up to its first NUL, or all of it.
  std::string Chars(size_t offset, size_t count) const;

 private:
  void Check(size_t offset, size_t count) const;
  template <typename T>
  T Field(size_t offset) const;

  std::span<const std::byte> bytes_;
};

enum class tShmAccess { Read, Full };

// Trace tags of a reader: one for opening and copying the block, one for reading it.
struct tShmTags {
  const char* map;
  const char* read;
};

using tShmReader = std::function<void(const ShmView& view)>;

// Blocks of the sensor programs are a few KiB; anything beyond this is not read.
constexpr size_t MaxSharedMemoryRead = 4 * 1024 * 1024;

// The block names a pass found missing, kept true by a change notification on /dev/shm: a pass
// then skips opening the blocks of programs that are not running (most of them, on Linux) and
// still reads a block at the first pass after it appears. Without a notification (refused, or
// the folder went away) nothing counts as missing and every block is opened as before.
class tShmWatch {
 public:
  tShmWatch();
  tShmWatch(const tShmWatch&) = delete;
  tShmWatch& operator=(const tShmWatch&) = delete;
  ~tShmWatch();
  // Takes in what appeared since the last call: once at the start of every pass.
  void Update();
  bool KnownMissing(const std::string& name) const;
  void NoteMissing(const std::string& name);
  bool Watching() const { return fd_ >= 0; }

 private:
  void Stop();
  int fd_ = -1;
  std::unordered_set<std::string> missing_;  // SharedMemoryPath names
};

// Opens the named block, copies it whole, closes it and calls reader, all within the call.
// A block that does not exist answers false and logs nothing. A failure to open or copy is
// logged with tags.map, an exception from the reader with tags.read; both answer false. True
// when the reader ran to its end. Anyone may plant a name in /dev/shm: the open never blocks
// and never follows a link, and only a regular file counts as a block (anything else is
// refused like a failure to open).
// With watch, a block it knows to be missing is not opened, and one found missing is noted.
bool ReadSharedMemory(const std::string& name, tShmAccess access, const tShmReader& reader,
                      const tShmTags& tags, tShmWatch* watch = nullptr);
// True when a block of that name can be opened for reading now (closed again at once); a
// planted FIFO or link is no block.
bool SharedMemoryExists(const std::string& name);
// The same for a block that carries values this program trusts: only one owned by this user
// and closed to group and others is read; any other is refused (logged with tags.map).
bool ReadPrivateSharedMemory(const std::string& name, tShmAccess access, const tShmReader& reader,
                             const tShmTags& tags, tShmWatch* watch = nullptr);

// A block this process creates and keeps mapped for its whole run. The name is removed
// again by Close, so no block outlives the program that offers it.
class SharedMemoryBlock {
 public:
  SharedMemoryBlock() = default;
  ~SharedMemoryBlock();
  SharedMemoryBlock(const SharedMemoryBlock&) = delete;
  SharedMemoryBlock& operator=(const SharedMemoryBlock&) = delete;

  // Creates the block with the given size and mode, or takes over a stale one of ours left by
  // a crashed run. A block of that name owned by another user is refused. False on failure.
  bool Create(const std::string& name, size_t size, unsigned mode = 0600);
  // Maps the whole block for reading and writing. False on failure.
  bool Map();
  void Unmap();
  void Close();

  // Copies the block this object created (through its own descriptor, whatever the name now
  // points to) and calls reader, with the error handling of ReadSharedMemory.
  bool Read(const tShmReader& reader, const tShmTags& tags) const;

  bool IsOpen() const { return fd_ >= 0; }
  bool IsMapped() const { return data_ != nullptr; }
  std::span<std::byte> Bytes() { return {static_cast<std::byte*>(data_), IsMapped() ? size_ : 0}; }
  // The system's reason for the last failed Create or Map.
  const std::string& LastError() const { return lastError_; }

 private:
  int fd_ = -1;
  void* data_ = nullptr;
  size_t size_ = 0;
  std::string path_;
  std::string lastError_;
};

}  // namespace kv
