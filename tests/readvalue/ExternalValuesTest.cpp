#include "readvalue/ExternalValues.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "core/EventLog.h"
#include "readvalue/Readings.h"
#include "support/PassState.h"
#include "support/TestSupport.h"

namespace {

using namespace kv;

struct tSlotWrite {
  size_t offset;
  double value;
};

// An outside writer in its own process: opens the area with full access, writes the doubles
// (and the processor-count byte) and exits. False when the child could not do it.
bool WriteFromAnotherProcess(const std::vector<tSlotWrite>& writes, std::optional<uint8_t> cpuCount = {}) {
  const std::string path = SharedMemoryPath(ExternalAreaName());
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    const int fd = ::shm_open(path.c_str(), O_RDWR, 0);
    if (fd < 0) ::_exit(2);
    void* p = ::mmap(nullptr, ExternalAreaSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) ::_exit(3);
    auto* bytes = static_cast<unsigned char*>(p);
    for (const tSlotWrite& w : writes) std::memcpy(bytes + w.offset, &w.value, sizeof w.value);
    if (cpuCount) bytes[ExternalCpuCountOffset] = *cpuCount;
    ::munmap(p, ExternalAreaSize);
    ::close(fd);
    ::_exit(0);
  }
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class ExternalValuesTest : public testing::Test, public kvtest::PassState {
 protected:
  std::vector<unsigned char> RecordBytes() const {
    std::vector<unsigned char> b(sizeof Readings);
    std::memcpy(b.data(), &Readings, sizeof Readings);
    return b;
  }
  void SetUp() override {
    SetSharedMemoryPrefix("kvtest-" + std::to_string(::getpid()) + "-");
    SetEventLogPath(dir_.File("KVEvents.txt"));
    SetDebugMode(true);
    Pass.ResetReadings();
    CreateExternalValueArea(Pass.Memory());
  }
  void TearDown() override {
    CloseExternalValueArea(Pass.Memory());
    ::shm_unlink(SharedMemoryPath(ExternalAreaName()).c_str());
    SetDebugMode(false);
    SetEventLogPath("");
    SetSharedMemoryPrefix("");
  }
  std::string Log() { return kvtest::ReadFile(dir_.File("KVEvents.txt")); }

  kvtest::TempDir dir_;
};

TEST_F(ExternalValuesTest, FreshAreaHoldsNoValuesAndChangesNothing) {
  const int fd = ::shm_open(SharedMemoryPath(ExternalAreaName()).c_str(), O_RDONLY, 0);
  ASSERT_GE(fd, 0);
  struct stat st {};
  ASSERT_EQ(::fstat(fd, &st), 0);
  EXPECT_EQ(st.st_size, 288);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  std::array<unsigned char, 288> raw{};
  ASSERT_EQ(::read(fd, raw.data(), raw.size()), 288);
  ::close(fd);

  const unsigned char noValue[8] = {0, 0, 0, 0, 0, 0xE0, 0x6F, 0xC0};  // -255.0
  for (size_t at = 0; at < 288; at += 8) {
    const bool channelSlot = at <= 232 || at >= 256;
    if (channelSlot)
      EXPECT_EQ(std::memcmp(raw.data() + at, noValue, 8), 0) << "slot at " << at;
    else
      for (size_t i = at; i < at + 8; ++i) EXPECT_EQ(raw[i], 0) << "byte " << i;  // clock, count
  }

  Readings.T[0] = 4100;  // an earlier source's value
  const auto before = RecordBytes();
  ReadExternalValues(Ctx);
  EXPECT_EQ(RecordBytes(), before);
  EXPECT_EQ(FreqMax, 0);
  EXPECT_EQ(CPUCount, 0);
  EXPECT_EQ(Log(), "");
}

TEST_F(ExternalValuesTest, TemperatureWinsUntilGivenBack) {
  Readings.T[0] = 3000;  // what a sensor program reported earlier in the pass
  ASSERT_TRUE(WriteFromAnotherProcess({{0, 45.5}}));
  ReadExternalValues(Ctx);
  EXPECT_EQ(Readings.T[0], 4550);
  EXPECT_EQ(Readings.T[1], NoValue16);

  Readings.T[0] = 3100;  // the next pass: the sensor reports again, the area still wins
  ReadExternalValues(Ctx);
  EXPECT_EQ(Readings.T[0], 4550);

  ASSERT_TRUE(WriteFromAnotherProcess({{0, -255.0}}));
  Readings.T[0] = 3200;
  ReadExternalValues(Ctx);
  EXPECT_EQ(Readings.T[0], 3200);
}

TEST_F(ExternalValuesTest, EveryChannelGroupLandsInItsChannel) {
  ASSERT_TRUE(WriteFromAnotherProcess({{72, -12.5},     // T10
                                       {80, 12.05},     // V1
                                       {152, 3.375},    // V10
                                       {256, 87.5},     // CPU1
                                       {280, 0.125}}));  // CPU4
  ReadExternalValues(Ctx);
  EXPECT_EQ(Readings.T[9], -1250);
  EXPECT_EQ(Readings.V[0], 1205);
  EXPECT_EQ(Readings.V[9], 338);
  EXPECT_EQ(Readings.CPU[0], 8750);
  EXPECT_EQ(Readings.CPU[3], 12);
  for (int i = 1; i < 9; ++i) EXPECT_EQ(Readings.V[i], NoValue16);
}

TEST_F(ExternalValuesTest, FanSlots) {
  Readings.F[3] = 2222;
  ASSERT_TRUE(WriteFromAnotherProcess({{160, 1.5},      // flow: -150
                                       {168, 1200.0},   // RPM as is
                                       {176, 0.0},      // stopped
                                       {184, -5.0},     // ignored
                                       {192, 255.0},    // the first RPM figure
                                       {200, 254.5}}));  // still a flow
  ReadExternalValues(Ctx);
  EXPECT_EQ(Readings.F[0], -150);
  EXPECT_EQ(Readings.F[1], 1200);
  EXPECT_EQ(Readings.F[2], 0);
  EXPECT_EQ(Readings.F[3], 2222);
  EXPECT_EQ(Readings.F[4], 255);
  EXPECT_EQ(Readings.F[5], -25450);

  std::array<double, FChannels> ones;
  ones.fill(1.0);
  PostProcessFans(Readings, ones);  // the end of the pass
  EXPECT_EQ(Readings.F[2], NoValue16);
  EXPECT_EQ(Readings.F[0], -150);
}

TEST_F(ExternalValuesTest, ClockRaisesFreqMaxAndCountSetsProcessors) {
  FreqMax = 2000000;
  ASSERT_TRUE(WriteFromAnotherProcess({{240, 3000.0}}, 8));
  ReadExternalValues(Ctx);
  EXPECT_EQ(Readings.Freq, 3000000);
  EXPECT_EQ(FreqMax, 3000000);
  EXPECT_EQ(CPUCount, 8);

  ASSERT_TRUE(WriteFromAnotherProcess({{240, 1000.0}}, 0));
  ReadExternalValues(Ctx);
  EXPECT_EQ(Readings.Freq, 1000000);
  EXPECT_EQ(FreqMax, 3000000);
  EXPECT_EQ(CPUCount, 8);  // a count of 0 changes nothing
}

TEST_F(ExternalValuesTest, NonFiniteDoublesChangeNothing) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  Readings.T[0] = 4000;
  Readings.F[0] = 1500;
  Readings.Freq = 2000000;
  ASSERT_TRUE(WriteFromAnotherProcess({{0, nan}, {80, inf}, {160, inf}, {168, -inf}, {240, inf}, {256, -nan}}));
  const auto before = RecordBytes();
  ReadExternalValues(Ctx);
  EXPECT_EQ(RecordBytes(), before);
  EXPECT_EQ(FreqMax, 0);
}

TEST_F(ExternalValuesTest, OutOfRangeValuesShowNoValue) {
  Readings.T[0] = 4000;
  ASSERT_TRUE(WriteFromAnotherProcess({{0, 1000.0}, {168, 1e9}, {240, 1e9}}));
  ReadExternalValues(Ctx);
  EXPECT_EQ(Readings.T[0], NoValue16);
  EXPECT_EQ(Readings.F[1], NoValue16);
  EXPECT_EQ(Readings.Freq, NoValue32);
  EXPECT_EQ(FreqMax, 0);  // a clock we cannot hold never becomes the maximum
}

TEST_F(ExternalValuesTest, ShortBlockIsAFailureThatChangesNothing) {
  CloseExternalValueArea(Pass.Memory());
  // Someone else's block under our name, too short for the layout but holding a valid T1.
  const int fd = ::shm_open(SharedMemoryPath(ExternalAreaName()).c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, 100), 0);
  const double t1 = 45.5;
  ASSERT_EQ(::write(fd, &t1, 8), 8);
  ::close(fd);

  const auto before = RecordBytes();
  ReadExternalValues(Ctx);
  EXPECT_EQ(RecordBytes(), before);
  EXPECT_NE(Log().find("] rv24 block of 100 bytes is shorter than its layout of 288"), std::string::npos)
      << Log();
}

// A block under our name made by someone else, every slot given back except T1 = 45.5.
void PlantArea(unsigned mode, uid_t owner) {
  const std::string path = SharedMemoryPath(ExternalAreaName());
  const int fd = ::shm_open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  std::vector<double> values(36, -255.0);
  values[0] = 45.5;
  ASSERT_EQ(::write(fd, values.data(), 288), 288);
  ASSERT_EQ(::fchmod(fd, mode), 0);
  if (owner != ::geteuid()) {
    ASSERT_EQ(::fchown(fd, owner, owner), 0);
  }
  ::close(fd);
}

TEST_F(ExternalValuesTest, SquattedAreaIsNeverRead) {
  CloseExternalValueArea(Pass.Memory());
  // A reader (kvsysinfo) finds a block anyone may write.
  PlantArea(0666, ::geteuid());
  Readings.T[0] = 3000;
  ReadExternalValues(Ctx);
  EXPECT_EQ(Readings.T[0], 3000);
  EXPECT_NE(Log().find("] rv24 refusing "), std::string::npos) << Log();
  ::shm_unlink(SharedMemoryPath(ExternalAreaName()).c_str());

  if (::geteuid() != 0) GTEST_SKIP() << "a block of another owner needs root to make";
  // Another user got the name first: creating fails and the pass does not read theirs.
  PlantArea(0666, 65534);
  CreateExternalValueArea(Pass.Memory());
  EXPECT_NE(Log().find("] Cannot create memory map"), std::string::npos) << Log();
  ReadExternalValues(Ctx);
  EXPECT_EQ(Readings.T[0], 3000);
  ::shm_unlink(SharedMemoryPath(ExternalAreaName()).c_str());
  PlantArea(0600, 65534);  // a private block, but not ours
  ReadExternalValues(Ctx);
  EXPECT_EQ(Readings.T[0], 3000);
}

TEST_F(ExternalValuesTest, MissingAreaIsSilent) {
  CloseExternalValueArea(Pass.Memory());
  std::remove(dir_.File("KVEvents.txt").c_str());
  const auto before = RecordBytes();
  ReadExternalValues(Ctx);
  EXPECT_EQ(RecordBytes(), before);
  EXPECT_EQ(Log(), "");
}

TEST_F(ExternalValuesTest, CloseLogsEachStepAndRemovesTheBlock) {
  CloseExternalValueArea(Pass.Memory());
  const std::string log = Log();
  const size_t unmap = log.find("] Unmapping shared mem\r\n");
  const size_t close = log.find("] Closing handle\r\n");
  ASSERT_NE(unmap, std::string::npos) << log;
  ASSERT_NE(close, std::string::npos) << log;
  EXPECT_LT(unmap, close);
  EXPECT_LT(::shm_open(SharedMemoryPath(ExternalAreaName()).c_str(), O_RDONLY, 0), 0);
  EXPECT_EQ(errno, ENOENT);

  CloseExternalValueArea(Pass.Memory());  // a second close has nothing left to do
  EXPECT_EQ(Log(), log);
}

TEST_F(ExternalValuesTest, CreateResetsTheSlotsOfAStaleBlock) {
  // A crashed run left its block behind, still holding a writer's values.
  CloseExternalValueArea(Pass.Memory());
  const int fd = ::shm_open(SharedMemoryPath(ExternalAreaName()).c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, 288), 0);
  ::close(fd);
  ASSERT_TRUE(WriteFromAnotherProcess({{0, 45.5}, {240, 3000.0}}, 4));

  CreateExternalValueArea(Pass.Memory());
  Readings.T[0] = 3000;
  ReadExternalValues(Ctx);
  EXPECT_EQ(Readings.T[0], 3000);
  EXPECT_EQ(Readings.Freq, NoValue32);
  EXPECT_EQ(CPUCount, 0);
}

// A second user's monitor starts while ours holds its area: each makes an area of its own,
// private to its user, and reads only what was written into it.
TEST_F(ExternalValuesTest, TwoUsersSideBySide) {
  EXPECT_EQ(ExternalAreaName(1000), "$Kelvara2$-1000");
  if (::geteuid() != 0) GTEST_SKIP() << "starting a second user's process needs root";
  const uid_t other = 65534;
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (::setgid(other) != 0 || ::setuid(other) != 0) ::_exit(2);
    kvtest::PassState second;
    CreateExternalValueArea(second.Pass.Memory());
    if (!WriteFromAnotherProcess({{0, 12.5}})) ::_exit(3);
    ReadExternalValues(second.Ctx);
    ::_exit(second.Readings.T[0] == 1250 ? 0 : 4);  // its area stays behind to be looked at
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "second monitor: " << status;

  const std::string otherPath = SharedMemoryPath(ExternalAreaName(other));
  for (const auto& [path, owner] : {std::pair{SharedMemoryPath(ExternalAreaName()), ::geteuid()},
                                    std::pair{otherPath, other}}) {
    struct stat st {};
    ASSERT_EQ(::stat(("/dev/shm" + path).c_str(), &st), 0) << path;
    EXPECT_EQ(st.st_uid, owner) << path;
    EXPECT_EQ(st.st_mode & 0777, 0600u) << path;
  }
  ASSERT_TRUE(WriteFromAnotherProcess({{0, 45.5}}));
  ReadExternalValues(Ctx);
  EXPECT_EQ(Readings.T[0], 4550);
  ::shm_unlink(otherPath.c_str());
}

}  // namespace
