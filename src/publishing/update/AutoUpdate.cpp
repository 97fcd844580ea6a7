#include "publishing/update/AutoUpdate.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDesktopServices>
#include <QUrl>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <future>

#include "core/EventLog.h"
#include "core/MainThread.h"
#include "core/Process.h"
#include "core/Text.h"
#include "core/UiPort.h"
#include "displays/Formatting.h"
#include "platform/Files.h"
#include "platform/System.h"
#include "publishing/update/HttpsClient.h"
#include "publishing/update/ReleaseInfo.h"
#include "settings/Scramble.h"
#include "settings/Settings.h"

namespace kv {

namespace {

void OpenInstaller(const tInstallerOpener& opener, const std::string& path) {
  if (opener) {
    opener(path);
  } else {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
  }
}

// The local time of the clock.
TDateTime LocalNowOf(const Clock& clock) { return UtcToLocal(clock.UtcNow()); }

std::string ReleaseInfoAddress(const tSettings& s) {
  std::string base = s.UpdateServer;
  while (!base.empty() && base.back() == '/') base.pop_back();
  return base + (s.Beta ? "/download.php?f=kelvarabeta.txt" : "/download.php?f=kelvara.txt");
}

// Opens a new file in folder exclusively, never through a link; a taken name gets a number
// before its extension. Answers the descriptor and sets path.
int CreateDownloadFile(const std::string& folder, const std::string& name, std::string& path) {
  const size_t dot = name.rfind('.');
  const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  const std::string ext = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
  for (int n = 0; n < 100; ++n) {
    path = folder + (n == 0 ? name : stem + "-" + std::to_string(n) + ext);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    if (errno != EEXIST) throw std::runtime_error("Cannot create " + path);
  }
  throw std::runtime_error("Cannot create a download file in " + folder);
}

std::string Sha256OfFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("Cannot read " + path);
  QCryptographicHash hash(QCryptographicHash::Sha256);
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      throw std::runtime_error("Cannot read " + path);
    }
    if (n == 0) break;
    hash.addData(QByteArrayView(buffer, n));
  }
  ::close(fd);
  return hash.result().toHex().toStdString();
}

}  // namespace

int64_t UpdateStamp(TDateTime local) { return static_cast<int64_t>(std::trunc(local * 8)); }

std::string UpdateUserAgent(const std::string& hostName) {
  std::string product = ProductVersion;  // "Kelvara 3.38-pre5"
  const size_t blank = product.find(' ');
  if (blank != std::string::npos) product[blank] = '/';
  return product + "." + ScramblePassword(hostName, HostNameScrambleKey);
}

std::string UpdateCacheFolder() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  std::string base;
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') throw std::runtime_error("No cache folder (HOME unset)");
    base = std::string(home) + "/.cache";
  }
  if (!base.ends_with('/')) base += '/';
  const std::string folder = base + "kelvara/";
  CreateFolder(folder, 0700);
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    throw std::runtime_error("Not a folder: " + folder);
  if (st.st_uid != ::getuid()) throw std::runtime_error("Folder of another user: " + folder);
  if ((st.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0)
    throw std::runtime_error("Cannot make private: " + folder);
  return folder;
}

TthdAutoUpdate::TthdAutoUpdate(const tSettings& settings, std::shared_ptr<const tTexts> texts, bool forced,
                               const tUpdateSetup& setup)
    : settings_(settings),
      texts_(texts ? std::move(texts) : std::make_shared<const tTexts>()),
      forced_(forced),
      setup_(setup) {
  try {
    http_ = std::make_unique<THttpsClient>(terminate_);
  } catch (const std::exception& e) {
    LogError("tauci ", e);
  }
}

TthdAutoUpdate::~TthdAutoUpdate() { Stop(); }

void TthdAutoUpdate::Start() {
  running_ = true;
  thread_ = std::thread([this] { Run(); });
}

void TthdAutoUpdate::Stop() {
  terminate_ = true;
  if (thread_.joinable()) thread_.join();
}

void TthdAutoUpdate::Status(const std::string& text) {
  setup_.main.Post([&ui = setup_.main.ui, text] { ui.ShowStatus(text); });
}

bool TthdAutoUpdate::Ask(const std::string& text) {
  auto answer = std::make_shared<std::promise<bool>>();
  std::future<bool> reply = answer->get_future();
  setup_.main.Post([&ui = setup_.main.ui, answer, text] { answer->set_value(ui.AskYesNo(text, ProductName)); });
  // A question that never reaches a window (no event loop, shutting down) counts as No.
  try {
    while (reply.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
      if (terminate_) return false;
    return reply.get();
  } catch (const std::future_error&) {
    return false;
  }
}

void TthdAutoUpdate::Run() {
  if ((settings_.CheckForUpdate || forced_) && settings_.UpdateServer.empty()) {
    // The usual case of a packaged install: updates come through the package manager, so
    // there is nothing to ask and nothing to tell the user.
    LogEvent("No update server configured: updates come through the package manager");
  } else if ((settings_.CheckForUpdate || forced_) && http_) {
    const tSettings& s = settings_;
    tHttpsOptions options;
    options.userAgent = UpdateUserAgent(HostName());
    options.proxyHost = s.HTTPProxyHost;
    options.proxyPort = s.HTTPProxyPort;
    options.proxyAuth = s.HTTPProxyAuth;
    options.proxyUser = s.HTTPProxyUser;
    options.proxyPassword = s.HTTPProxyPass;
    options.caFile = setup_.trustStore;
    http_->SetOptions(options);
    Status(texts_->CheckingForNew);
    LogEvent("Querying website");
    CheckSpeedFan();
    if (CheckProgram()) {
      const int64_t stamp = UpdateStamp(LocalNowOf(setup_.clock));
      setup_.main.Post([&s = setup_.main.settings, &process = setup_.main.process, stamp] {
        s.UpdateCheck = static_cast<int32_t>(stamp);
        SaveWindowState(s, process.SettingsDir);
      });
    }
  }
  running_ = false;
}

void TthdAutoUpdate::CheckSpeedFan() {
  if (settings_.CheckForUpdateSpeedFan && settings_.ReadSpeedFan && !settings_.RunningAsService)
    LogEvent("SpeedFan update check does not apply on Linux");
}

bool TthdAutoUpdate::CheckProgram() {
  std::string reply;
  try {
    http_->Close();
    reply = http_->GetText(ReleaseInfoAddress(settings_), MaxReleaseInfoBytes);
  } catch (const std::exception& e) {
    LogEvent(e.what());
    Status(texts_->ConnectionFailed + " (\"" + e.what() + "\")");
    return false;
  }
  const std::vector<std::string> lines = SplitReplyLines(reply);
  switch (JudgeRelease(lines, ThisReleaseDate)) {
    case tReleaseVerdict::Unchanged:
      return false;
    case tReleaseVerdict::Newer:
      LogEvent("New version detected");
      if (Ask(UpdateQuestion(lines, texts_->UpdateAvailable, texts_->DownloadUpdate)) &&
          DownloadAndRun(lines[2])) {
        // Handed over: the installer takes it from here, so no more automatic checks.
        setup_.main.Post([&s = setup_.main.settings, &process = setup_.main.process] {
          s.CheckForUpdate = false;
          SaveWindowState(s, process.SettingsDir);
        });
        LogEvent("Downloading new version");
      }
      return true;
    case tReleaseVerdict::SiteError:
      // The page is the server's: one bounded line, so it can never forge lines of its own.
      LogEvent("ERROR while connecting to download site! (\"" + LogExcerpt(reply) + "\")");
      return false;
    case tReleaseVerdict::NotNewer:
      Status(texts_->NoNewVersion);
      LogEvent("No new version detected");
      return true;
  }
  return false;
}

namespace {
// An installer the program will not trust: not a connection that failed, and told as such.
struct tRefused : std::runtime_error {
  using std::runtime_error::runtime_error;
};
}  // namespace

bool TthdAutoUpdate::DownloadAndRun(const std::string& address) {
  std::string path;
  try {
    if (!IsHttpsAddress(address)) throw tRefused("Not an https address: " + address);
    const std::string folder = UpdateCacheFolder();
    const int fd = CreateDownloadFile(folder, InstallerFileName(address), path);
    try {
      http_->Close();
      http_->GetFile(address, fd, MaxInstallerBytes);
      if (::close(fd) != 0) throw std::runtime_error("Cannot write " + path);
    } catch (...) {
      ::close(fd);
      throw;
    }
    std::string checksum;
    try {
      checksum = http_->GetText(address + ".sha256", MaxChecksumBytes);
    } catch (const std::exception& e) {
      throw tRefused(std::string("No checksum for the installer: ") + e.what());
    }
    const std::optional<std::string> expected = ParseChecksum(checksum);
    if (!expected) throw tRefused("No valid checksum for the installer");
    if (Sha256OfFile(path) != *expected) throw tRefused("Installer checksum mismatch, file refused");
    LogEvent("Installer verified: " + path);
    Status(FormatTexts(texts_->SavedSuccessfully, {path}));
    setup_.main.Post([opener = setup_.opener, path] { OpenInstaller(opener, path); });
    return true;
  } catch (const std::exception& e) {
    if (!path.empty()) ::unlink(path.c_str());
    LogError("daiw ", e);
    const bool refused = dynamic_cast<const tRefused*>(&e) != nullptr;
    Status((refused ? texts_->Error : texts_->ConnectionFailed) + " (\"" + e.what() + "\")");
    return false;
  }
}

void CheckForUpdates(std::unique_ptr<TthdAutoUpdate>& update, bool forced, const tUpdateSetup& setup) {
  const tSettings& settings = setup.main.settings;
  try {
    if (!forced && int64_t{settings.UpdateCheck} + 8 >= UpdateStamp(LocalNowOf(setup.clock))) return;
    LogEvent("Checking for new version");
    if (update && !update->Running()) FreeUpdateThread(update);
    if (update) {
      LogEvent("Could not create autoupdate thread");
      return;
    }
    LogEvent("Creating autoupdate thread");
    try {
      update = std::make_unique<TthdAutoUpdate>(settings, Texts(), forced, setup);
      update->Start();
    } catch (const std::exception& e) {
      LogError("tauci ", e);
    }
  } catch (const std::exception& e) {
    LogError("tut1 ", e);
  }
}

void FreeUpdateThread(std::unique_ptr<TthdAutoUpdate>& update) {
  if (!update) return;
  update->Stop();
  update.reset();
}

}  // namespace kv
