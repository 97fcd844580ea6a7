#include "platform/SharedMemory.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <chrono>
#include <functional>
#include <future>
#include <limits>
#include <stdexcept>
#include <vector>

#include "core/EventLog.h"
#include "support/TestSupport.h"

namespace {

using kv::ShmView;

std::vector<std::byte> Bytes(std::initializer_list<int> values) {
  std::vector<std::byte> out;
  for (int v : values) out.push_back(static_cast<std::byte>(v));
  return out;
}

TEST(ShmView, ReadsLittleEndianFieldsAtAnyOffset) {
  // Fields start at odd offsets on purpose: the sensor layouts are packed.
  std::vector<std::byte> b = Bytes({0x7F,                    // 0: byte
                                    0xFE, 0xFF,              // 1: int16 -2
                                    0x34, 0x12,              // 3: uint16 0x1234
                                    0x44, 0x33, 0x22, 0x11,  // 5: uint32 0x11223344
                                    0xFF, 0xFF, 0xFF, 0x7F,  // 9: int32 max
                                    'C', 'P', 'U', 0, 'x',   // 13: char[5] "CPU"
                                    'A', 'B'});              // 18: char[2] without NUL
  const double d = -255.0;
  const float f = 47.5f;
  const size_t dAt = b.size();
  b.resize(dAt + 8 + 4);
  std::memcpy(b.data() + dAt, &d, 8);
  std::memcpy(b.data() + dAt + 8, &f, 4);

  const ShmView v(b);
  EXPECT_EQ(v.Byte(0), 0x7F);
  EXPECT_EQ(v.Int16(1), -2);
  EXPECT_EQ(v.UInt16(3), 0x1234);
  EXPECT_EQ(v.UInt32(5), 0x11223344u);
  EXPECT_EQ(v.Int32(9), 2147483647);
  EXPECT_EQ(v.Chars(13, 5), "CPU");
  EXPECT_EQ(v.Chars(18, 2), "AB");
  EXPECT_EQ(v.Double(dAt), -255.0);
  EXPECT_EQ(v.Float(dAt + 8), 47.5f);
  // The no-value marker of the external area has this bit pattern on the wire.
  EXPECT_EQ(v.UInt32(dAt + 4), 0xC06FE000u);
  EXPECT_EQ(v.UInt32(dAt), 0u);
}

TEST(ShmView, FieldsPastTheEndFailWithoutReading) {
  const std::vector<std::byte> b(10);
  const ShmView v(b);
  EXPECT_NO_THROW(v.Int16(8));
  EXPECT_THROW(v.Int16(9), std::out_of_range);
  EXPECT_THROW(v.Double(3), std::out_of_range);
  EXPECT_THROW(v.Byte(10), std::out_of_range);
  EXPECT_THROW(v.Chars(6, 5), std::out_of_range);
  // An offset near the top of size_t must not wrap around into the block.
  EXPECT_THROW(v.Int32(std::numeric_limits<size_t>::max() - 1), std::out_of_range);
  EXPECT_THROW(v.Chars(2, std::numeric_limits<size_t>::max()), std::out_of_range);
  EXPECT_NO_THROW(v.Require(10));
  EXPECT_THROW(v.Require(11), std::out_of_range);
  EXPECT_THROW(ShmView().Byte(0), std::out_of_range);
}

// Real blocks under a prefix of this process, with the event log on.
class SharedMemoryTest : public testing::Test {
 protected:
  void SetUp() override {
    kv::SetSharedMemoryPrefix("kvtest-" + std::to_string(::getpid()) + "-");
    kv::SetEventLogPath(dir_.File("KVEvents.txt"));
    kv::SetDebugMode(true);
  }
  void TearDown() override {
    for (const std::string& name : made_) ::shm_unlink(kv::SharedMemoryPath(name).c_str());
    kv::SetDebugMode(false);
    kv::SetEventLogPath("");
    kv::SetSharedMemoryPrefix("");
  }
  // A block as an outside program would publish it.
  void MakeBlock(const std::string& name, const std::vector<std::byte>& content) {
    made_.push_back(name);
    const int fd = ::shm_open(kv::SharedMemoryPath(name).c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(content.size())), 0);
    if (!content.empty()) {
      ASSERT_EQ(::write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    }
    ::close(fd);
  }
  std::string Log() { return kvtest::ReadFile(dir_.File("KVEvents.txt")); }

  kvtest::TempDir dir_;
  std::vector<std::string> made_;
};

TEST_F(SharedMemoryTest, MissingBlockIsSilent) {
  bool called = false;
  EXPECT_FALSE(kv::ReadSharedMemory("NoSuchProgram", kv::tShmAccess::Read,
                                    [&](const ShmView&) { called = true; }, {"m1 ", "m2 "}));
  EXPECT_FALSE(kv::ReadSharedMemory("NoSuchProgram", kv::tShmAccess::Full,
                                    [&](const ShmView&) { called = true; }, {"m1 ", "m2 "}));
  EXPECT_FALSE(called);
  EXPECT_EQ(Log(), "");
}

// A pass skips the blocks it found missing until the folder says one appeared, made in place
// or renamed into place; then the very next read takes it, and a block gone is missing again.
TEST_F(SharedMemoryTest, WatchedMissingBlocksAreReadAtTheFirstPassAfterTheyAppear) {
  kv::tShmWatch watch;
  ASSERT_TRUE(watch.Watching());
  const auto read = [&](const char* name) {
    watch.Update();
    int first = -1;
    kv::ReadSharedMemory(name, kv::tShmAccess::Read, [&](const ShmView& v) { first = v.Byte(0); }, {"m1 ", "m2 "},
                         &watch);
    return first;
  };
  for (const bool renamed : {false, true}) {
    const char* name = renamed ? "Renamed" : "Made";
    EXPECT_EQ(read(name), -1);
    EXPECT_TRUE(watch.KnownMissing(name)) << name;
    if (renamed) {
      MakeBlock("Staging", Bytes({7}));
      made_.push_back(name);
      ASSERT_EQ(std::rename(("/dev/shm" + kv::SharedMemoryPath("Staging")).c_str(),
                            ("/dev/shm" + kv::SharedMemoryPath(name)).c_str()),
                0);
    } else {
      MakeBlock(name, Bytes({7}));
    }
    EXPECT_EQ(read(name), 7) << name;
    ::shm_unlink(kv::SharedMemoryPath(name).c_str());
    EXPECT_EQ(read(name), -1) << name;
    MakeBlock(name, Bytes({8}));
    EXPECT_EQ(read(name), 8) << name;
  }
}

TEST_F(SharedMemoryTest, ReaderSeesTheWholeBlock) {
  MakeBlock("Sensors", Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
  for (kv::tShmAccess access : {kv::tShmAccess::Read, kv::tShmAccess::Full}) {
    size_t size = 0;
    uint32_t last = 0;
    EXPECT_TRUE(kv::ReadSharedMemory("Sensors", access,
                                     [&](const ShmView& v) {
                                       size = v.Size();
                                       last = v.UInt32(8);
                                     },
                                     {"m1 ", "m2 "}));
    EXPECT_EQ(size, 12u);
    EXPECT_EQ(last, 0x0C0B0A09u);
  }
  EXPECT_EQ(Log(), "");
}

TEST_F(SharedMemoryTest, ShortBlockFailsWithTheReadTag) {
  MakeBlock("Short", Bytes({1, 2, 3, 4, 5, 6}));
  bool reachedEnd = false;
  EXPECT_FALSE(kv::ReadSharedMemory("Short", kv::tShmAccess::Read,
                                    [&](const ShmView& v) {
                                      v.Double(0);
                                      reachedEnd = true;
                                    },
                                    {"m1 ", "m2 "}));
  EXPECT_FALSE(reachedEnd);
  const std::string log = Log();
  EXPECT_NE(log.find("] m2 field at offset 0 (8 bytes) lies past the end of a block of 6 bytes"),
            std::string::npos)
      << log;
}

TEST_F(SharedMemoryTest, EmptyBlockFailsWithTheMapTag) {
  MakeBlock("Empty", {});
  bool called = false;
  EXPECT_FALSE(kv::ReadSharedMemory("Empty", kv::tShmAccess::Read,
                                    [&](const ShmView&) { called = true; }, {"m1 ", "m2 "}));
  EXPECT_FALSE(called);
  EXPECT_NE(Log().find("] m1 cannot map Empty"), std::string::npos) << Log();
}

TEST_F(SharedMemoryTest, PrefixSeparatesBlocks) {
  MakeBlock("Shared", Bytes({42}));
  const std::string ours = kv::SharedMemoryPath("Shared");
  EXPECT_EQ(ours, "/kvtest-" + std::to_string(::getpid()) + "-Shared");
  kv::SetSharedMemoryPrefix("kvtest-other-" + std::to_string(::getpid()) + "-");
  EXPECT_FALSE(kv::ReadSharedMemory("Shared", kv::tShmAccess::Read, [](const ShmView&) {}, {"m1 ", "m2 "}));
  kv::SetSharedMemoryPrefix("kvtest-" + std::to_string(::getpid()) + "-");
  EXPECT_TRUE(kv::ReadSharedMemory("Shared", kv::tShmAccess::Read, [](const ShmView&) {}, {"m1 ", "m2 "}));
}

TEST_F(SharedMemoryTest, CreatedBlockIsPrivateWritableAndRemovedOnClose) {
  kv::SharedMemoryBlock block;
  ASSERT_TRUE(block.Create("Offered", 288, 0600)) << block.LastError();
  EXPECT_TRUE(block.IsOpen());
  EXPECT_FALSE(block.IsMapped());
  EXPECT_TRUE(block.Bytes().empty());
  ASSERT_TRUE(block.Map()) << block.LastError();
  ASSERT_EQ(block.Bytes().size(), 288u);
  block.Bytes()[287] = std::byte{0x5A};

  const std::string path = kv::SharedMemoryPath("Offered");
  struct stat st {};
  const int fd = ::shm_open(path.c_str(), O_RDONLY, 0);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::fstat(fd, &st), 0);
  ::close(fd);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(st.st_size, 288);

  uint8_t seen = 0;
  EXPECT_TRUE(kv::ReadSharedMemory("Offered", kv::tShmAccess::Read,
                                   [&](const ShmView& v) { seen = v.Byte(287); }, {"m1 ", "m2 "}));
  EXPECT_EQ(seen, 0x5A);

  block.Unmap();
  EXPECT_FALSE(block.IsMapped());
  block.Close();
  EXPECT_FALSE(block.IsOpen());
  EXPECT_LT(::shm_open(path.c_str(), O_RDONLY, 0), 0);
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(SharedMemoryTest, CreateTakesOverAStaleBlockOfOurs) {
  // A crashed run left a wrongly sized, too open block behind.
  MakeBlock("Stale", std::vector<std::byte>(16, std::byte{0xEE}));
  const std::string path = kv::SharedMemoryPath("Stale");
  ASSERT_EQ(::chmod(("/dev/shm" + path).c_str(), 0666), 0);

  kv::SharedMemoryBlock block;
  ASSERT_TRUE(block.Create("Stale", 64, 0600)) << block.LastError();
  ASSERT_TRUE(block.Map());
  EXPECT_EQ(block.Bytes().size(), 64u);
  EXPECT_EQ(block.Bytes()[0], std::byte{0xEE});  // the same block, not a new one
  struct stat st {};
  ASSERT_EQ(::stat(("/dev/shm" + path).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(st.st_size, 64);
}

// Runs a read on another thread. One still busy after 3 s hangs in open on a FIFO: the FIFO's
// other end is opened to free it, and the read counts as stuck.
bool ReturnsPromptly(const std::function<bool()>& read, const std::string& fifo, bool& result) {
  auto done = std::async(std::launch::async, read);
  if (done.wait_for(std::chrono::seconds(3)) == std::future_status::ready) {
    result = done.get();
    return true;
  }
  const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  if (writer >= 0) ::close(writer);  // closed at once: the stuck read then sees the end
  done.wait();
  return false;
}

TEST_F(SharedMemoryTest, PlantedFifoAndLinkAreRefusedWithoutBlocking) {
  made_.push_back("EVEREST_SensorValues");
  const std::string fifo = "/dev/shm" + kv::SharedMemoryPath("EVEREST_SensorValues");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0) << std::strerror(errno);
  MakeBlock("Target", Bytes({1, 2, 3, 4}));
  made_.push_back("Link");
  ASSERT_EQ(::symlink(("/dev/shm" + kv::SharedMemoryPath("Target")).c_str(),
                      ("/dev/shm" + kv::SharedMemoryPath("Link")).c_str()),
            0);

  for (const char* name : {"EVEREST_SensorValues", "Link"})
    for (kv::tShmAccess access : {kv::tShmAccess::Read, kv::tShmAccess::Full})
      for (const auto read : {&kv::ReadSharedMemory, &kv::ReadPrivateSharedMemory}) {
        bool called = false, result = true;
        EXPECT_TRUE(ReturnsPromptly(
            [&] { return read(name, access, [&](const ShmView&) { called = true; }, {"m1 ", "m2 "}, nullptr); },
            fifo, result))
            << name;
        EXPECT_FALSE(result) << name;
        EXPECT_FALSE(called) << name;
      }
  bool exists = true;
  EXPECT_TRUE(ReturnsPromptly([&] { return kv::SharedMemoryExists("EVEREST_SensorValues"); }, fifo, exists));
  EXPECT_FALSE(exists);
  EXPECT_FALSE(kv::SharedMemoryExists("Link"));
  EXPECT_TRUE(kv::SharedMemoryExists("Target"));
  const std::string log = Log();
  EXPECT_NE(log.find("] m1 cannot open EVEREST_SensorValues: is not a block"), std::string::npos) << log;
  EXPECT_NE(log.find("] m1 cannot open Link: "), std::string::npos) << log;

  // Nor does creating a block under a planted name hang or take it over.
  kv::SharedMemoryBlock block;
  bool created = true;
  EXPECT_TRUE(ReturnsPromptly([&] { return block.Create("EVEREST_SensorValues", 64); }, fifo, created));
  EXPECT_FALSE(created);
  EXPECT_FALSE(block.Create("Link", 64));
  struct stat st {};
  ASSERT_EQ(::stat(("/dev/shm" + kv::SharedMemoryPath("Target")).c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 4);  // the link's target is untouched
}

TEST_F(SharedMemoryTest, PrivateReadTakesOnlyOurClosedBlocks) {
  auto readByte = [](const std::string& name) {
    int seen = -1;
    kv::ReadPrivateSharedMemory(name, kv::tShmAccess::Full, [&](const ShmView& v) { seen = v.Byte(0); },
                                {"m1 ", "m2 "});
    return seen;
  };
  MakeBlock("Closed", Bytes({7}));
  EXPECT_EQ(readByte("Closed"), 7);

  MakeBlock("Open", Bytes({8}));
  ASSERT_EQ(::chmod(("/dev/shm" + kv::SharedMemoryPath("Open")).c_str(), 0666), 0);
  EXPECT_EQ(readByte("Open"), -1);
  EXPECT_NE(Log().find("] m1 refusing Open: "), std::string::npos) << Log();
  // Anyone's block is still fine for the sensor programs' read-only data.
  EXPECT_TRUE(kv::ReadSharedMemory("Open", kv::tShmAccess::Read, [](const ShmView&) {}, {"m1 ", "m2 "}));

  if (::geteuid() == 0) {
    MakeBlock("Foreign", Bytes({9}));
    ASSERT_EQ(::chown(("/dev/shm" + kv::SharedMemoryPath("Foreign")).c_str(), 65534, 65534), 0);
    EXPECT_EQ(readByte("Foreign"), -1);
  }
}

TEST_F(SharedMemoryTest, CreatedBlockIsReadThroughItsOwnDescriptor) {
  kv::SharedMemoryBlock block;
  ASSERT_TRUE(block.Create("Own", 16, 0600));
  ASSERT_TRUE(block.Map());
  block.Bytes()[0] = std::byte{0x11};
  // The name is taken away and put on another block: we still read the one we made.
  const std::string path = kv::SharedMemoryPath("Own");
  ASSERT_EQ(::shm_unlink(path.c_str()), 0);
  MakeBlock("Own", Bytes({0x22}));
  int seen = -1;
  EXPECT_TRUE(block.Read([&](const ShmView& v) { seen = v.Byte(0); }, {"m1 ", "m2 "}));
  EXPECT_EQ(seen, 0x11);
  EXPECT_FALSE(kv::SharedMemoryBlock().Read([](const ShmView&) {}, {"m1 ", "m2 "}));
}

TEST_F(SharedMemoryTest, MapWithoutABlockFails) {
  kv::SharedMemoryBlock block;
  EXPECT_FALSE(block.Map());
  EXPECT_FALSE(block.LastError().empty());
  block.Unmap();  // harmless on nothing
  block.Close();
}

}  // namespace
