// Runs the real program on an empty settings folder and checks what it leaves behind.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <chrono>
#include <thread>

#include "settings/IniFile.h"
#include "support/TestSupport.h"

namespace {

using namespace kv;

const std::string Program = std::string(KV_BIN_DIR) + "/kelvara";

QProcessEnvironment Environment(const kvtest::TempDir& dir) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_DATA_HOME", QString::fromStdString(dir.Path() + "data"));
  env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir.Path()));
  env.insert("LANG", "C");
  env.insert("LC_ALL", "C");
  env.insert("QT_QPA_PLATFORM", "offscreen");
  return env;
}

TEST(KelvaraRun, HeadlessRunLeavesEveryWrittenKey) {
  kvtest::TempDir dir;
  QProcess kelvara;
  kelvara.setProcessEnvironment(Environment(dir));
  kelvara.start(QString::fromStdString(Program), {"-headless", "-debug"});
  ASSERT_TRUE(kelvara.waitForStarted(10000)) << Program;

  // "-close" answers once the running instance listens; retry until then.
  bool closed = false;
  for (int attempt = 0; attempt < 50 && !closed; ++attempt) {
    QProcess closer;
    closer.setProcessEnvironment(Environment(dir));
    closer.start(QString::fromStdString(Program), {"-close"});
    closer.waitForFinished(30000);
    closed = kelvara.waitForFinished(200);
  }
  if (!closed) kelvara.kill();
  ASSERT_TRUE(closed);

  const std::string folder = dir.Path() + "data/kelvara/";
  const IniFile client(folder + "KVClient.ini");
  const IniFile display(folder + "KVDisplay.ini");
  const IniFile server(folder + "KVServer.ini");
  EXPECT_EQ(client.ReadString("Debug", "Debug", ""), "1");
  EXPECT_EQ(client.ReadString("Light", "LightTime", ""), "600000");
  EXPECT_EQ(client.ReadString("Banner", "BannerTime", ""), "900000");
  EXPECT_EQ(client.ReadString("Banner", "SpanBanner", ""), "6");
  // The longest uptime seen: this machine's uptime by now.
  EXPECT_GT(client.ReadInteger("Misc", "upRecTime", -1), 0);
  EXPECT_EQ(client.ReadString("Misc", "UpdateCheck", ""), "-1");
  EXPECT_EQ(display.ReadString("Temperatures", "TMaxStats", ""), "55");
  EXPECT_EQ(display.ReadString("Memory", "MemMax", ""), "512");
  EXPECT_EQ(display.ReadString("Misc", "cBack", ""), "14737632");
  EXPECT_EQ(server.ReadString("FTP", "FTPPassCrypt", "?"), "");
  EXPECT_EQ(server.ReadString("FTP", "Path", ""), "/");

  // Every key the program owns, counted per section.
  const std::pair<const IniFile*, std::pair<const char*, size_t>> sections[] = {
      {&client, {"Temperatures", 10 * 2 + 2}}, {&client, {"Voltages", 10 * 2}},
      {&client, {"Fans", 10 * 2 + 1}},         {&client, {"CPUs", 4 * 2}},
      {&client, {"Net", 4 * 3 + 3}},           {&client, {"Disk", 8 * 4}},
      {&client, {"Memory", 4}},                {&client, {"Battery", 1}},
      {&client, {"Light", 6}},                 {&client, {"Banner", 6}},
      {&client, {"Stats", 1}},                 {&client, {"PowerOff", 2}},
      {&client, {"Misc", 12}},                 {&client, {"Debug", 40}},
      {&client, {"Alerts", 10 * 6 + 12}},
      {&display, {"Temperatures", 10 * 2 + 6}}, {&display, {"Voltages", 10 * 2}},
      {&display, {"Fans", 10 * 2 + 3}},        {&display, {"CPUs", 4 * 2 + 5}},
      {&display, {"Memory", 7}},               {&display, {"Battery", 2}},
      {&display, {"Net", 4 * 2 + 2}},          {&display, {"Disk", 8 + 3}},
      {&display, {"Misc", 23}},                {&server, {"FTP", 8}},
      {&server, {"SMTP", 8}},                  {&server, {"Proxy", 10}},
      {&server, {"HTTP", 2}},                  {&client, {"GPU", 4}},
      {&display, {"GPU", 2}},
  };
  for (const auto& [ini, section] : sections)
    EXPECT_EQ(ini->Keys(section.first).size(), section.second) << ini->Path() << " " << section.first;
}

}  // namespace
