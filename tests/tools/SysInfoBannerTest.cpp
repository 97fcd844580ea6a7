// kvsysinfo -banner: the banner of the user's statistics files, drawn without changing them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <cstdio>
#include <string>

#include "core/Process.h"
#include "settings/Settings.h"
#include "statistics/StatFiles.h"
#include "statistics/StatStore.h"
#include "support/TestSupport.h"
#include "tools/SysInfo.h"

namespace kv {
namespace {

// Names, sizes and modification times of everything in a folder.
std::string Listing(const std::string& folder) {
  std::string out;
  for (const QFileInfo& f : QDir(QString::fromStdString(folder)).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name))
    out += f.fileName().toStdString() + " " + std::to_string(f.size()) + " " +
           std::to_string(f.lastModified().toMSecsSinceEpoch()) + "\n";
  return out;
}

class SysInfoBanner : public testing::Test {
 protected:
  void SetUp() override {
    folder = data.Path() + "kelvara/";
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    env.insert("XDG_DATA_HOME", QString::fromStdString(data.Path()));
    p.setProcessEnvironment(env);
  }
  int Run(const std::string& out) {
    p.start(QStringLiteral(KV_BIN_DIR "/kvsysinfo"), {"-banner", QString::fromStdString(out)});
    if (!p.waitForFinished(20000)) return -1;
    error = p.readAllStandardError().toStdString();
    return p.exitCode();
  }
  // An hour of samples up to now, written as the monitor writes them.
  void WriteStatistics() {
    tStatStore s;
    const TDateTime now = UtcNow();
    for (int k = 0; k <= 60; ++k) {
      tReadings r{};
      tReadingsExtra e{};
      MakeBreakSample(now - (60 - k) / 1440.0, r, e);
      r.T[0] = static_cast<int16_t>(4000 + 10 * k);
      s.Samples.push_back(r);
      s.SamplesExtra.push_back(e);
    }
    s.LastIndex = 60;
    SaveStore(s, folder, Params8h.baseName, false);
  }

  kvtest::TempDir data;
  std::string folder;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  QProcess p;
  std::string error;
};

TEST_F(SysInfoBanner, DrawsFromTheStatisticsFilesAndLeavesThemAlone) {
  kvtest::WriteFile(folder + "KVDisplay.ini", "[Misc]\nBannerWidth=612\n");
  WriteStatistics();
  const std::string before = Listing(folder);
  ASSERT_NE(before.find("Kelvara8h.log6"), std::string::npos);
  ASSERT_EQ(Run(data.File("wide.png")), 0) << error;
  EXPECT_EQ(QImage(QString::fromStdString(data.File("wide.png"))).size(), QSize(612, 80));
  EXPECT_EQ(Listing(folder), before);

  // Only the backups left: they are read where they lie, never copied back.
  for (const char* suffix : {"6", "7"}) {
    const std::string file = folder + Params8h.baseName + suffix;
    ASSERT_EQ(std::rename(file.c_str(), (file + ".backup").c_str()), 0);
  }
  const std::string backups = Listing(folder);
  ASSERT_EQ(Run(data.File("fromBackup.gif")), 0) << error;
  EXPECT_EQ(QImage(QString::fromStdString(data.File("fromBackup.gif"))).size(), QSize(612, 80));
  EXPECT_EQ(Listing(folder), backups);
}

TEST_F(SysInfoBanner, NoStatisticsMeansNoPictureAndFailure) {
  EXPECT_EQ(Run(data.File("wide.png")), 1);
  EXPECT_NE(error.find("fewer than two samples"), std::string::npos) << error;
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(data.File("wide.png"))));
  EXPECT_EQ(Listing(folder), "");
  EXPECT_FALSE(ParseSysInfoArguments({"-banner"}).ok);
  EXPECT_EQ(ParseSysInfoArguments({"/Banner", "b.gif"}).bannerFile, "b.gif");
}

}  // namespace
}  // namespace kv
