#include "statistics/StatFiles.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "core/EventLog.h"
#include "core/Process.h"
#include "platform/Files.h"
#include "settings/Settings.h"
#include "statistics/StatFixture.h"
#include "support/TestSupport.h"

namespace kv {
namespace {

using kvtest::ReadFile;
using kvtest::WriteFile;

class StatFilesTest : public StatFixture {
 protected:
  void SetUp() override {
    temperature = 4321;
    StatFixture::SetUp();
  }

  // A sample whose every byte says where it came from.
  static void Fill(tReadings& r, tReadingsExtra& e, int i) {
    std::memset(&r, 0, sizeof r);
    r.Time = 46000.0 + i / 1000.0;
    for (int c = 0; c < 10; ++c) {
      r.T[c] = static_cast<int16_t>(1000 + i + c);
      r.V[c] = static_cast<int16_t>(500 + c);
      r.F[c] = static_cast<int16_t>(2000 + c);
    }
    r.NetIn[3] = 123456 + i;
    r.BatOnline = 1;
    e = tReadingsExtra{};
    e.Time2 = r.Time;
    e.UserSecs = i;
    e.Reserved[39] = -i;
  }
  // Samples from..from+count-1.
  static void FillStore(tStatStore& s, int count, int from = 0) {
    s = tStatStore{};
    for (int i = from; i < from + count; ++i) {
      s.Samples.emplace_back();
      s.SamplesExtra.emplace_back();
      Fill(s.Samples.back(), s.SamplesExtra.back(), i);
    }
    s.LastIndex = count - 1;
  }
  static std::string Bytes(const void* data, size_t size) {
    return std::string(static_cast<const char*>(data), size);
  }
};

TEST_F(StatFilesTest, SaveLoadRoundTripIsByteForByteApartFromLegacyMarkers) {
  tStatStore saved;
  FillStore(saved, 50);
  saved.Samples[7].V[2] = 0;       // legacy "no voltage"
  saved.Samples[8].V[3] = 25500;   // legacy "no voltage"
  saved.Samples[9].F[4] = 255;     // legacy "no fan"
  saved.Samples[10].T[0] = 0;      // a temperature of 0 stays
  SaveStore(saved, Process.SettingsDir, "Kelvara8h.log", false);
  EXPECT_EQ(ReadFile(dir.File("Kelvara8h.log6")).size(), 50 * 141u);
  EXPECT_EQ(ReadFile(dir.File("Kelvara8h.log7")).size(), 50 * 172u);

  tStatStore loaded;
  LoadStore(loaded, Process.SettingsDir, "Kelvara8h.log", clock_.UtcNow());
  ASSERT_EQ(loaded.LastIndex, 49);
  EXPECT_EQ(loaded.CropLimit, 52);
  saved.Samples[7].V[2] = NoValue16;
  saved.Samples[8].V[3] = NoValue16;
  saved.Samples[9].F[4] = NoValue16;
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(std::memcmp(&saved.Samples[i], &loaded.Samples[i], sizeof(tReadings)), 0) << i;
    EXPECT_EQ(std::memcmp(&saved.SamplesExtra[i], &loaded.SamplesExtra[i], sizeof(tReadingsExtra)), 0) << i;
  }
  EXPECT_NE(Log().find("] Loading " + dir.File("Kelvara8h.log6") + "\r\n"), std::string::npos);
  EXPECT_NE(Log().find("] Loading " + dir.File("Kelvara8h.log7") + "\r\n"), std::string::npos);
}

// The GPU history sits in the companion's reserved fields: files written before it load with no
// GPU figures, and files written with it keep every field an older program reads in its place.
TEST_F(StatFilesTest, GpuHistoryTravelsInTheReservedFieldsBothWays) {
  tStatStore old;
  FillStore(old, 3);
  MakeBreakExtra(old.Samples[2].Time, old.SamplesExtra[2]);
  SaveStore(old, Process.SettingsDir, "Kelvara8h.log", false);
  tStatStore loaded;
  LoadStore(loaded, Process.SettingsDir, "Kelvara8h.log", clock_.UtcNow());
  ASSERT_EQ(loaded.LastIndex, 2);
  for (int i = 0; i < 3; ++i)
    for (int slot = 0; slot < GpuSlots; ++slot) {
      EXPECT_EQ(GpuLoadAt(loaded.SamplesExtra[i], slot), NoValue32) << i;
      EXPECT_EQ(GpuPowerAt(loaded.SamplesExtra[i], slot), NoValue32) << i;
    }

  tStatStore fresh;
  FillStore(fresh, 3);
  std::vector<tGpu> gpus(2);
  for (int i = 0; i < 3; ++i) {
    gpus[0].Load = 1000 * i;
    gpus[1].Power = 50000 + i;
    StoreGpuHistory(fresh.SamplesExtra[i], gpus);
  }
  SaveStore(fresh, Process.SettingsDir, "Kelvara8h.log", false);
  const std::string companion = ReadFile(dir.File("Kelvara8h.log7"));
  ASSERT_EQ(companion.size(), 3 * sizeof(tReadingsExtra));
  LoadStore(loaded, Process.SettingsDir, "Kelvara8h.log", clock_.UtcNow());
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(GpuLoadAt(loaded.SamplesExtra[i], 0), 1000 * i);
    EXPECT_EQ(GpuPowerAt(loaded.SamplesExtra[i], 0), NoValue32);
    EXPECT_EQ(GpuPowerAt(loaded.SamplesExtra[i], 1), 50000 + i);
    EXPECT_EQ(GpuLoadAt(loaded.SamplesExtra[i], 3), NoValue32) << "an empty slot";
    // Where an older program reads them: Time2 at 0, UserSecs at 8.
    double time2 = 0;
    int32_t userSecs = 0;
    std::memcpy(&time2, companion.data() + i * sizeof(tReadingsExtra), sizeof time2);
    std::memcpy(&userSecs, companion.data() + i * sizeof(tReadingsExtra) + 8, sizeof userSecs);
    const double time = fresh.Samples[i].Time;  // a packed field binds to no reference
    EXPECT_EQ(time2, time);
    EXPECT_EQ(userSecs, i);
  }
}

TEST_F(StatFilesTest, EmptySeriesWritesNothingButObsoleteNamesGo) {
  const char* obsolete[] = {"Kelvara7d.log", "Kelvara7d.log2", "Kelvara7d.log5.backup", "Kelvara7d.log.backup"};
  for (const char* name : obsolete) WriteFile(dir.File(name), "old");
  WriteFile(dir.File("Kelvara7d.log6"), "keep");
  SaveStore(tStatStore{}, Process.SettingsDir, "Kelvara7d.log", true);
  for (const char* name : obsolete) EXPECT_FALSE(FileExists(dir.File(name))) << name;
  EXPECT_EQ(ReadFile(dir.File("Kelvara7d.log6")), "keep");
  EXPECT_FALSE(FileExists(dir.File("Kelvara7d.log6.backup")));
}

TEST_F(StatFilesTest, BackupsOnCloseAndRestoreAtStart) {
  tStatStore s;
  FillStore(s, 3);
  SaveStore(s, Process.SettingsDir, "Kelvara7d.log", true);  // nothing to back up yet
  EXPECT_FALSE(FileExists(dir.File("Kelvara7d.log6.backup")));
  FillStore(s, 5);
  SaveStore(s, Process.SettingsDir, "Kelvara7d.log", true);
  EXPECT_EQ(ReadFile(dir.File("Kelvara7d.log6.backup")).size(), 3 * 141u);
  EXPECT_EQ(ReadFile(dir.File("Kelvara7d.log7.backup")).size(), 3 * 172u);

  DeleteFile(dir.File("Kelvara7d.log6"));
  tStatStore loaded;
  LoadStore(loaded, Process.SettingsDir, "Kelvara7d.log", clock_.UtcNow());
  const std::string m = dir.File("Kelvara7d.log6");
  EXPECT_NE(Log().find("] Restoring backup: " + m + ".backup -> " + m + "\r\n"), std::string::npos) << Log();
  EXPECT_TRUE(FileExists(m));
  // The restored main file has 3 records, the companion 5: they pair by position.
  EXPECT_EQ(loaded.LastIndex, 2);
  EXPECT_EQ(+loaded.SamplesExtra[2].UserSecs, 2);
}

TEST_F(StatFilesTest, ShortCompanionAndTimeMismatchGetRebuiltRecords) {
  tStatStore s;
  FillStore(s, 3);
  SaveStore(s, Process.SettingsDir, "Kelvara1a.log", false);
  const std::string c = dir.File("Kelvara1a.log7");
  std::string companion = ReadFile(c);
  companion.resize(2 * 172);
  companion[172] ^= 0x01;  // second record's time no longer matches
  WriteFile(c, companion);

  tStatStore loaded;
  LoadStore(loaded, Process.SettingsDir, "Kelvara1a.log", clock_.UtcNow());
  ASSERT_EQ(loaded.LastIndex, 2);
  EXPECT_EQ(+loaded.SamplesExtra[0].UserSecs, 0);
  for (int i : {1, 2}) {
    EXPECT_EQ(+loaded.SamplesExtra[i].Time2, +loaded.Samples[i].Time);
    EXPECT_EQ(+loaded.SamplesExtra[i].UserSecs, NoValue32);
    EXPECT_EQ(+loaded.SamplesExtra[i].Reserved[0], NoValue32);
    EXPECT_EQ(+loaded.SamplesExtra[i].Reserved[39], NoValue32);
  }
  EXPECT_NE(Log().find("] rsl3 Time mismatch\r\n"), std::string::npos);
  EXPECT_NE(Log().find("] rsl3 Read beyond end of file\r\n"), std::string::npos);
}

TEST_F(StatFilesTest, DamagedMainFiles) {
  tStatStore s;
  FillStore(s, 4);
  s.Samples[1].Time = std::numeric_limits<double>::quiet_NaN();
  s.SamplesExtra[1].Time2 = s.Samples[1].Time;
  SaveStore(s, Process.SettingsDir, "Kelvara8h.log", false);
  const std::string m = dir.File("Kelvara8h.log6");
  WriteFile(m, ReadFile(m) + std::string(100, '\x7f'));  // a torn trailing record

  tStatStore loaded;
  LoadStore(loaded, Process.SettingsDir, "Kelvara8h.log", clock_.UtcNow());
  ASSERT_EQ(loaded.LastIndex, 2);  // the NaN record is dropped, the partial one never read
  EXPECT_EQ(+loaded.Samples[1].Time, +s.Samples[2].Time);
  EXPECT_EQ(+loaded.SamplesExtra[1].UserSecs, 2);  // pairing stays by file position
  EXPECT_NE(Log().find("] rsl1 "), std::string::npos);

  // A file far larger than any history: only the newest records load.
  const std::string record = ReadFile(m).substr(0, 141);
  std::string huge;
  huge.reserve((MaxFileRecords + 7) * 141);
  for (size_t i = 0; i < MaxFileRecords + 7; ++i) huge += record;
  WriteFile(m, huge);
  DeleteFile(dir.File("Kelvara8h.log7"));
  LoadStore(loaded, Process.SettingsDir, "Kelvara8h.log", clock_.UtcNow());
  EXPECT_EQ(loaded.LastIndex, static_cast<int32_t>(MaxFileRecords) - 1);
  // No companion: all-zero second records that still pair with their samples.
  EXPECT_EQ(+loaded.SamplesExtra[0].Time2, +loaded.Samples[0].Time);
  EXPECT_EQ(+loaded.SamplesExtra[0].UserSecs, 0);
  EXPECT_EQ(+loaded.SamplesExtra[0].Reserved[0], 0);
}

TEST_F(StatFilesTest, LostCompanionComesBackWholeAfterTheNextSave) {
  tStatStore s;
  FillStore(s, 5);
  SaveStore(s, Process.SettingsDir, "Kelvara8h.log", false);
  DeleteFile(dir.File("Kelvara8h.log7"));
  tStatStore loaded;
  LoadStore(loaded, Process.SettingsDir, "Kelvara8h.log", clock_.UtcNow());
  SaveStore(loaded, Process.SettingsDir, "Kelvara8h.log", false);
  DeleteFile(dir.File("KVEvents.txt"));
  LoadStore(loaded, Process.SettingsDir, "Kelvara8h.log", clock_.UtcNow());
  ASSERT_EQ(loaded.LastIndex, 4);
  EXPECT_EQ(Log().find("rsl3 "), std::string::npos) << Log();
  for (int i = 0; i <= 4; ++i) EXPECT_EQ(+loaded.SamplesExtra[i].UserSecs, 0) << i;  // not rebuilt as breaks
}

TEST_F(StatFilesTest, UnwritableFolderLogsAndKeepsMemory) {
  Process.SettingsDir = dir.File("missing/");
  tStatStore s;
  FillStore(s, 2);
  SaveStore(s, Process.SettingsDir, "Kelvara8h.log", true);
  EXPECT_NE(Log().find("] wsl1 "), std::string::npos);
  EXPECT_EQ(s.LastIndex, 1);
}

TEST_F(StatFilesTest, SaveStatisticsEndsEachFileWithAFreshSample) {
  Series.LoadStatistics();  // no files: break and two samples each
  Series.SaveStatistics(false);
  for (tSeriesRef ref : Series.AllSeries()) {
    const std::string main = ReadFile(dir.File(std::string(ref.params.baseName) + "6"));
    ASSERT_EQ(main.size(), 4 * 141u);
    tReadings last;
    std::memcpy(&last, main.data() + 3 * 141, 141);
    EXPECT_EQ(last.T[0], 4321);
  }
  EXPECT_NE(Log().find("] Writing log\r\n"), std::string::npos);
}

// A save killed after the main file's rename but before the companion's: the cropped new main
// file stands beside the old companion, shifted against it.
TEST_F(StatFilesTest, KillBetweenTheTwoRenamesLosesOnlyTheNewestCompanionRecords) {
  tStatStore s;
  FillStore(s, 200);
  SaveStore(s, Process.SettingsDir, "Kelvara8h.log", false);
  FillStore(s, 185, 20);  // twenty cropped, five new
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    SaveStore(s, Process.SettingsDir, "Kelvara8h.log", false, [] { ::raise(SIGKILL); });
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
  ASSERT_EQ(ReadFile(dir.File("Kelvara8h.log6")).size(), 185 * 141u);
  ASSERT_EQ(ReadFile(dir.File("Kelvara8h.log7")).size(), 200 * 172u);

  tStatStore loaded;
  LoadStore(loaded, Process.SettingsDir, "Kelvara8h.log", clock_.UtcNow());
  ASSERT_EQ(loaded.LastIndex, 184);
  for (int k = 0; k < 180; ++k) {
    EXPECT_EQ(+loaded.SamplesExtra[k].Time2, +loaded.Samples[k].Time) << k;
    EXPECT_EQ(+loaded.SamplesExtra[k].UserSecs, k + 20) << k;
  }
  for (int k = 180; k < 185; ++k) EXPECT_EQ(+loaded.SamplesExtra[k].UserSecs, NoValue32) << k;
  EXPECT_TRUE(Logged("rsl3 " + dir.File("Kelvara8h.log7") + " out of step; 180 records paired by time"))
      << Log();

  // The killed writer's companion file is left under its temporary name until the next start.
  const std::string temp = dir.File("Kelvara8h.log7.kvtmp." + std::to_string(child) + ".0");
  EXPECT_EQ(ReadFile(temp).size(), 185 * 172u);
  EXPECT_EQ(RemoveStaleTempFiles(dir.Path()), 1);
  EXPECT_FALSE(FileExists(temp));
}

// A record with an absurd time would make the first crop delete all history older than it.
TEST_F(StatFilesTest, RecordsWithImplausibleOrDisorderedTimesAreDropped) {
  const double now = clock_.UtcNow();
  tStatStore s;
  FillStore(s, 40);
  std::vector<double> kept;
  for (int i = 0; i < 40; ++i) {
    double t = now - 300 + i * 7.5;  // 300 days of history up to yesterday
    if (i == 1) t = now + 0.9;    // ahead of all that follow
    if (i == 10) t = 0;
    if (i == 20) t = -1e9;
    if (i == 25) t = now + 30;
    if (i == 30) t = now - 5000;  // 2013: within reason, but before its predecessor
    if (i == 35) t = now + 0.5;   // ahead of all that follow
    s.Samples[i].Time = t;  // packed records: by value, never by reference
    s.SamplesExtra[i].Time2 = t;
    if (i != 1 && i != 10 && i != 20 && i != 25 && i != 30 && i != 35) kept.push_back(t);
  }
  SaveStore(s, Process.SettingsDir, "Kelvara1a.log", false);
  LoadStore(Stats1a, Process.SettingsDir, "Kelvara1a.log", clock_.UtcNow());
  ASSERT_EQ(Stats1a.LastIndex, 33);
  for (int k = 0; k <= Stats1a.LastIndex; ++k) {
    EXPECT_EQ(+Stats1a.Samples[k].Time, kept[k]) << k;
    EXPECT_EQ(+Stats1a.SamplesExtra[k].Time2, kept[k]) << k;  // pairing unharmed
  }
  for (const char* line : {"rsl1 Implausible time in record 10", "rsl1 Implausible time in record 20",
                           "rsl1 Implausible time in record 25", "rsl1 Time out of order in record 30",
                           "rsl1 Time out of order in record 35",
                           "rsl1 Time out of order in record 1"})
    EXPECT_TRUE(Logged(line)) << line << "\n" << Log();

  // Sampling on until the series is cropped keeps the oldest history.
  Series.SampleAndAcquire(true);
  for (int i = 0; i < 3; ++i) Series.StoreSample(Stats1a, Params1a, true);
  ASSERT_TRUE(Logged("Cropping log"));
  EXPECT_EQ(+Stats1a.Samples[0].Time, kept[0]);
}

TEST_F(StatFilesTest, PlantedLinkAtABackupNameIsReplacedNotWrittenThrough) {
  const std::string victim = dir.File("victim");
  WriteFile(victim, "precious");
  tStatStore s;
  FillStore(s, 3);
  SaveStore(s, Process.SettingsDir, "Kelvara7d.log", false);
  const std::string m = dir.File("Kelvara7d.log6");
  const std::string before = ReadFile(m);
  ASSERT_EQ(::symlink(victim.c_str(), (m + ".backup").c_str()), 0);
  ASSERT_EQ(::symlink(victim.c_str(), (m + ".kvtmp." + std::to_string(getpid()) + ".0").c_str()), 0);
  FillStore(s, 4);
  SaveStore(s, Process.SettingsDir, "Kelvara7d.log", true);
  EXPECT_EQ(ReadFile(victim), "precious");
  EXPECT_EQ(ReadFile(m + ".backup"), before);
  EXPECT_EQ(ReadFile(m).size(), 4 * 141u);
}

// A child in a private mount namespace with a small tmpfs as the settings folder; it sends back
// a report of "name=value" lines. Empty with the reason in skip when the mount is refused.
std::string RunOnSmallTmpfs(const std::string& mountPoint, const std::function<void(std::string& report)>& body,
                            std::string& skip) {
  int fds[2];
  if (pipe(fds) != 0) return skip = "pipe failed", "";
  const pid_t child = fork();
  if (child < 0) return skip = "fork failed", "";
  if (child == 0) {
    ::close(fds[0]);
    std::string report;
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=512k,mode=0700") != 0) {
      report = std::string("skip=") + std::strerror(errno);
    } else {
      body(report);
    }
    const ssize_t n = ::write(fds[1], report.data(), report.size());
    ::_exit(n == static_cast<ssize_t>(report.size()) ? 0 : 1);
  }
  ::close(fds[1]);
  std::string report;
  char buffer[4096];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) report.append(buffer, static_cast<size_t>(n));
  ::close(fds[0]);
  waitpid(child, nullptr, 0);
  if (report.rfind("skip=", 0) == 0) skip = report.substr(5), report.clear();
  return report;
}

TEST_F(StatFilesTest, FullDiskLeavesTheOldBackupsWhole) {
  const std::string mountPoint = dir.File("small");
  ASSERT_TRUE(CreateFolder(mountPoint));
  std::string skip;
  const std::string report = RunOnSmallTmpfs(mountPoint, [this](std::string& out) {
    Process.SettingsDir += "small/";
    tStatStore s;
    FillStore(s, 5);
    SaveStore(s, Process.SettingsDir, "Kelvara8h.log", false);
    SaveStore(s, Process.SettingsDir, "Kelvara8h.log", true);  // the backups of an earlier closing
    const std::string oldMain = Bytes(s.Samples.data(), 5 * 141);
    const std::string oldCompanion = Bytes(s.SamplesExtra.data(), 5 * 172);
    FillStore(s, 600);
    SaveStore(s, Process.SettingsDir, "Kelvara8h.log", false);
    const std::string main = Bytes(s.Samples.data(), 600 * 141);
    {
      std::ofstream filler(Process.SettingsDir + "filler", std::ios::binary);
      const std::string block(4096, 'x');
      while (filler.write(block.data(), block.size())) {}
    }
    FillStore(s, 610);
    SaveStore(s, Process.SettingsDir, "Kelvara8h.log", true);  // closing on a full disk
    const std::string m = Process.SettingsDir + "Kelvara8h.log6";
    out += "backup6=" + std::string(ReadFile(m + ".backup") == oldMain ? "whole" : "damaged") + "\n";
    out += "backup7=" + std::string(ReadFile(Process.SettingsDir + "Kelvara8h.log7.backup") == oldCompanion ? "whole" : "damaged") + "\n";
    out += "main=" + std::string(ReadFile(m) == main ? "whole" : "damaged") + "\n";
    int temps = 0;
    for (auto& e : std::filesystem::directory_iterator(Process.SettingsDir))
      if (e.path().filename().string().find(".kvtmp.") != std::string::npos) ++temps;
    out += "temps=" + std::to_string(temps) + "\n";
  }, skip);
  if (!skip.empty()) GTEST_SKIP() << "no private tmpfs: " << skip;
  EXPECT_EQ(report, "backup6=whole\nbackup7=whole\nmain=whole\ntemps=0\n");
  EXPECT_NE(Log().find("] wsl1 "), std::string::npos);
}

// A writer killed at any moment leaves the old or the new file, whole.
TEST_F(StatFilesTest, KilledWriterNeverLeavesATornFile) {
  tStatStore big;
  FillStore(big, 20000);
  SaveStore(big, Process.SettingsDir, "Kelvara8h.log", false);
  const size_t oldSize = ReadFile(dir.File("Kelvara8h.log6")).size();
  FillStore(big, 30000);
  for (int attempt = 0; attempt < 10; ++attempt) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (;;) SaveStore(big, Process.SettingsDir, "Kelvara8h.log", false);
    }
    usleep(static_cast<useconds_t>(2000 + attempt * 3000));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    const size_t size = ReadFile(dir.File("Kelvara8h.log6")).size();
    EXPECT_TRUE(size == oldSize || size == 30000 * 141u) << size;
    const size_t companion = ReadFile(dir.File("Kelvara8h.log7")).size();
    EXPECT_TRUE(companion == 20000 * 172u || companion == 30000 * 172u) << companion;
  }
}

}  // namespace
}  // namespace kv
