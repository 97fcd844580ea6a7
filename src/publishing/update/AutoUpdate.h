#pragma once
// The update check: once a day (or on request) the update thread TthdAutoUpdate reads the
// release information from the update server, asks the user about a newer release and, on
// Yes, downloads the installer into a private folder, checks its SHA-256 and hands it to the
// desktop, whose package installer then asks the user. Nothing downloaded is ever executed.
// The thread works on a copy of the settings and texts; status texts, the question and the
// stored stamp go through queued calls on the main thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "core/DateTime.h"
#include "core/MainThread.h"
#include "settings/Language.h"
#include "settings/Settings.h"

namespace kv {

class THttpsClient;

// An installer larger than this is refused while it downloads.
constexpr int64_t MaxInstallerBytes = 512ll * 1024 * 1024;

// What receives a verified installer's path, on the main thread.
using tInstallerOpener = std::function<void(const std::string& path)>;

// What the update check works with besides a copy of the settings: the main thread's side
// (questions, status texts, the stored stamp), what receives a verified installer (empty: the
// desktop's installer, QDesktopServices::openUrl), the certificate authorities the download is
// checked against (empty: the system's) and the clock of the daily stamp.
struct tUpdateSetup {
  tMainThread main;
  tInstallerOpener opener;
  std::string trustStore;
  const Clock& clock;
};

// The time of a completed check in units of 3 hours, as UpdateCheck stores it.
int64_t UpdateStamp(TDateTime local);
// "Kelvara/<version>." and the host name scrambled from the host-name key.
std::string UpdateUserAgent(const std::string& hostName);
// $XDG_CACHE_HOME/kelvara/ (else ~/.cache/kelvara/), created 0700; a link or another user's
// folder there is refused (throws).
std::string UpdateCacheFolder();

class TthdAutoUpdate {
 public:
  TthdAutoUpdate(const tSettings& settings, std::shared_ptr<const tTexts> texts, bool forced,
                 const tUpdateSetup& setup);
  ~TthdAutoUpdate();
  TthdAutoUpdate(const TthdAutoUpdate&) = delete;
  TthdAutoUpdate& operator=(const TthdAutoUpdate&) = delete;

  // Sets the running flag and starts the run.
  void Start();
  // Cleared as the very last step of the run.
  bool Running() const { return running_; }
  // Asks the run to end (a transfer is aborted, an open question counts as No) and waits.
  void Stop();

 private:
  void Run();
  void CheckSpeedFan();
  // True when the check counts as completed.
  bool CheckProgram();
  // Downloads, verifies and hands over the installer; false (logged "daiw ") when refused.
  bool DownloadAndRun(const std::string& address);
  bool Ask(const std::string& text);
  void Status(const std::string& text);

  tSettings settings_;
  std::shared_ptr<const tTexts> texts_;
  bool forced_;
  tUpdateSetup setup_;
  std::unique_ptr<THttpsClient> http_;
  std::atomic<bool> running_{false}, terminate_{false};
  std::thread thread_;
};

// The timer's and the menu's check: unless forced, nothing while the last completed check is
// less than 24 hours old; a finished thread is freed, a running one left alone.
void CheckForUpdates(std::unique_ptr<TthdAutoUpdate>& update, bool forced, const tUpdateSetup& setup);
void FreeUpdateThread(std::unique_ptr<TthdAutoUpdate>& update);

}  // namespace kv
