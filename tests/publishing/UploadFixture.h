#pragma once
// Peers and helpers shared by the upload tests: a pyftpdlib server and an FTP proxy on
// loopback, and a recording status line.
#include <QProcess>
#include <memory>
#include <string>
#include <vector>

#include "core/Process.h"
#include "core/UiPort.h"
#include "displays/ImageSaving.h"
#include "publishing/Publishing.h"
#include "publishing/upload/UploadThread.h"
#include "support/TestSupport.h"

namespace kvtest {

// A fixture peer (server or proxy) started from ftp_fixture.py; stopped when destroyed.
class Peer {
 public:
  explicit Peer(const std::vector<std::string>& args);
  ~Peer();
  int Port() const { return port_; }

 private:
  QProcess process_;
  int port_ = 0;
};

// Every status text in order, and the tray icon slots.
class StatusListUi final : public kv::UiPort {
 public:
  void ShowStatus(const std::string& text) override { status.push_back(text); }
  void ShowMessage(const std::string&, const std::string&, bool) override {}
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  void SetTrayTip(const std::string&) override {}
  void SetTrayIconSlot(int slot) override { iconSlots.push_back(slot); }
  void RequestRedraw() override { ++redraws; }
  bool Saw(const std::string& text) const;
  bool SawStarting(const std::string& prefix) const;
  std::vector<std::string> status;
  std::vector<int> iconSlots;
  int redraws = 0;
};

// Everything one upload test needs: folders, the event log in debug mode, texts, settings,
// the picture queue.
class UploadTest {
 public:
  UploadTest();
  ~UploadTest();
  // A picture file of size bytes, queued.
  void Queue(kv::tImageKind kind, const std::string& name, size_t size = 3000);
  // Runs one upload to its end (at most 40 s) and delivers the queued main-thread calls.
  void Run(bool debug = true);
  std::string Log() const;
  // A server with the user "kv" and password "s3cr3t!"; www/img/b exists in its root.
  std::vector<std::string> ServerArgs(const std::vector<std::string>& extra = {}) const;

  TempDir dir;
  std::string pictures, root;
  kv::tProcessFacts process;
  kv::tSettings settings;
  kv::tPictureQueue queue;
  StatusListUi ui;
  kv::tReadingsState current;
  kv::tAcquisition pass{settings, current, process, kv::SystemTime()};
  // The publishing services' view of this state.
  kv::tPublishingSources Sources() { return {settings, process, current, pass, queue, ui, kv::SystemTime()}; }
};

void DeliverMainThreadCalls();

}  // namespace kvtest
