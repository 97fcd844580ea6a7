#include <gtest/gtest.h>

#include <QProcess>
#include <sys/stat.h>
#include <unistd.h>

#include "support/TestSupport.h"

namespace {

struct tRun {
  int exitCode;
  std::string err;
};

tRun RunSysInfo(const std::string& dataHome) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_DATA_HOME", QString::fromStdString(dataHome));
  p.setProcessEnvironment(env);
  p.start(QStringLiteral(KV_BIN_DIR "/kvsysinfo"), {"-json"});
  if (!p.waitForFinished(20000)) return {-1, "did not finish"};
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
          p.readAllStandardError().toStdString()};
}

// kvsysinfo takes the monitor's folder with the monitor's check: an unsafe folder is refused
// with a message, never read quietly.
TEST(SysInfoSettingsFolder, UnsafeFolderIsRefusedWithAMessage) {
  kvtest::TempDir data;
  const std::string folder = data.Path() + "kelvara/";
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
  tRun run = RunSysInfo(data.Path());
  EXPECT_NE(run.exitCode, 0);
  EXPECT_NE(run.err.find("writable by group or others"), std::string::npos) << run.err;

  ASSERT_EQ(::rmdir(folder.c_str()), 0);
  kvtest::TempDir elsewhere;
  ASSERT_EQ(::symlink(elsewhere.Path().c_str(), (data.Path() + "kelvara").c_str()), 0);
  run = RunSysInfo(data.Path());
  EXPECT_NE(run.exitCode, 0);
  EXPECT_NE(run.err.find("symbolic link"), std::string::npos) << run.err;

  // No folder yet: nothing to read, every setting its default, and nothing is created.
  kvtest::TempDir empty;
  run = RunSysInfo(empty.Path() + "share");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(::access((empty.Path() + "share").c_str(), F_OK), 0);
}

}  // namespace
