#pragma once
// One upload run on a worker thread: the queued light and banner go to the FTP server or by
// secure copy, each entry is emptied once its file arrived, and the thread ends. The thread
// reads a copy of the settings and texts made when it was created; status texts and icons
// reach the window through queued calls on the main thread.
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "core/MainThread.h"
#include "displays/ImageSaving.h"
#include "settings/Language.h"
#include "settings/Settings.h"

namespace kv {

class TFtpClient;

// Where the run finds and empties the queue.
struct tUploadQueue {
  std::function<tPendingImage(tImageKind)> get;
  std::function<void(tImageKind, const tPendingImage&)> clear;
};
// The queue of the timed picture saves.
tUploadQueue UploadQueueOf(tPictureQueue& pictures);

class TthdUpload {
 public:
  // settings and texts are copied; main is where status texts and the tray icon go.
  TthdUpload(const tSettings& settings, std::shared_ptr<const tTexts> texts, bool protocolLog, tUploadQueue queue,
             const tMainThread& main);
  ~TthdUpload();
  TthdUpload(const TthdUpload&) = delete;
  TthdUpload& operator=(const TthdUpload&) = delete;

  // Sets the running flag and starts the run.
  void Start();
  // Cleared as the very last step of the run.
  bool Running() const { return running_; }
  bool ConnectionOpen() const { return connected_; }
  // Asks the run to end (an open transfer is aborted), waits for the thread.
  void Stop();

 private:
  void Run();
  void FtpRun();
  void SecureCopyRun(const tPendingImage& light, const tPendingImage& banner);
  void FtpConnect();
  bool FtpUploadFile(const tPendingImage& entry, const std::string& dir);
  void FtpDisconnect();
  void Status(const std::string& text);
  std::string ErrorText(const std::string& message) const;

  tSettings settings_;
  std::shared_ptr<const tTexts> texts_;
  bool protocolLog_;
  tUploadQueue queue_;
  tMainThread main_;
  std::string appDir_;  // pscp runs there
  std::unique_ptr<TFtpClient> ftp_;
  std::atomic<bool> running_{false}, terminate_{false}, connected_{false};
  std::thread thread_;
};


}  // namespace kv
