#include "publishing/UploadFixture.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QStringList>
#include <chrono>
#include <filesystem>
#include <thread>

#include "core/EventLog.h"
#include "settings/Language.h"
#include "support/PeerProcess.h"

namespace kvtest {

using namespace kv;

Peer::Peer(const std::vector<std::string>& args) {
  QStringList list{QString(KV_SOURCE_DIR "/tests/publishing/ftp_fixture.py")};
  for (const std::string& a : args) list << QString::fromStdString(a);
  port_ = StartPeerProcess(process_, list, "peer");
}

Peer::~Peer() {
  process_.kill();
  process_.waitForFinished(5000);
}

bool StatusListUi::Saw(const std::string& text) const {
  for (const std::string& s : status)
    if (s == text) return true;
  return false;
}

bool StatusListUi::SawStarting(const std::string& prefix) const {
  for (const std::string& s : status)
    if (s.starts_with(prefix)) return true;
  return false;
}

void DeliverMainThreadCalls() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

UploadTest::UploadTest() {
  pictures = dir.Path() + "pictures/";
  root = dir.Path() + "ftp/";
  std::filesystem::create_directories(pictures);
  std::filesystem::create_directories(root + "www/img/b");
  process.SettingsDir = dir.Path();
  SetEventLogPath(dir.File("KVEvents.txt"));
  ResetTexts();
  process.AppDir = KV_BIN_DIR "/";
  LoadLanguage(process, EnglishLanguageFile);
  settings.Host = "127.0.0.1";
  settings.User = "kv";
  settings.FTPPass = "s3cr3t!";
  settings.FTPPath = "/www";
  settings.LightPath = "img";
  settings.BannerPath = "b";
  settings.UploadLight = settings.UploadBanner = true;
  settings.UseTLS = 0;
}

UploadTest::~UploadTest() { SetDebugMode(false); }

void UploadTest::Queue(tImageKind kind, const std::string& name, size_t size) {
  const std::string path = pictures + name;
  std::string content(size, 'x');
  for (size_t i = 0; i < size; ++i) content[i] = static_cast<char>(i * 7);
  WriteFile(path, content);
  queue.Set(kind, name, path);
}

void UploadTest::Run(bool debug) {
  SetDebugMode(true);
  SetProtocolPasswords(settings.FTPPass, settings.FTPProxyPass);
  TthdUpload run(settings, Texts(), debug, UploadQueueOf(queue), {nullptr, ui, settings, process});
  run.Start();
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(40);
  while (run.Running() && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(run.Running());
  run.Stop();
  DeliverMainThreadCalls();
}

std::string UploadTest::Log() const { return ReadFile(dir.File("KVEvents.txt")); }

std::vector<std::string> UploadTest::ServerArgs(const std::vector<std::string>& extra) const {
  std::vector<std::string> args = {"server", root, "kv", "s3cr3t!"};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

}  // namespace kvtest
