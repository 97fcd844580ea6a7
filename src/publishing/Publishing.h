#pragma once
// The publishing services behind the main cycle's port: the upload, the update check and the
// HTTP server.
#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/PublishingPort.h"
#include "publishing/update/AutoUpdate.h"
#include "publishing/http/HttpServer.h"
#include "publishing/upload/UploadThread.h"
#include "readvalue/AcquisitionPass.h"
#include "readvalue/ReadingsJson.h"

namespace kv {

// What the services work from: the monitor's settings (the threads take copies), its folders,
// the readings of the last pass and the pass's step health (for the HTTP server), the picture
// queue, the user interface and the clock.
struct tPublishingSources {
  tSettings& Settings;
  const tProcessFacts& Process;
  const tReadingsState& Current;
  const tAcquisition& Pass;
  tPictureQueue& Pictures;
  UiPort& Ui;
  const Clock& Time;
};

// What the composition root (or a test) adds: members of the readings object and metric
// families that the layers above publish (the active alerts), and the update check's installer
// opener and certificate authorities.
struct tPublishingOptions {
  std::function<std::vector<tJsonMember>()> extraJson;
  std::function<std::string()> extraMetrics;
  tInstallerOpener opener;   // empty: the desktop's installer
  std::string trustStore;    // empty: the system's authorities
};

class Publishing final : public PublishingPort {
 public:
  explicit Publishing(const tPublishingSources& sources, tPublishingOptions options = {});
  ~Publishing() override;
  Publishing(const Publishing&) = delete;
  Publishing& operator=(const Publishing&) = delete;

  bool ImagesWaiting() override;
  bool UploadExists() override { return upload_ != nullptr; }
  bool UploadRunning() override { return upload_ && upload_->Running(); }
  // Creates the upload thread from the current settings and texts; it starts at once.
  void CreateUpload() override;
  void FreeUpload() override;
  bool UpdateExists() override { return update_ != nullptr; }
  bool UpdateRunning() override { return update_ && update_->Running(); }
  void FreeUpdate() override { FreeUpdateThread(update_); }
  void UpdateCheck(bool force) override;
  void ApplyHttpServer() override;
  // Hands the server the readings of the pass just ended (/metrics, /api/v1/readings).
  void PublishReadings();
  // Hands the server the picture a timed save just wrote.
  void PictureSaved(tImageKind kind, const tSavedPicture& picture) {
    http_.PictureSaved(kind, picture.path, picture.bytes);
  }

  void UploadNow(const std::function<void()>& saveFresh) override;

 private:
  tMainThread MainThread();
  tUpdateSetup UpdateSetup();

  tPublishingSources sources_;
  tPublishingOptions options_;
  QObject context_;  // queued calls of the threads; those still pending when it goes are dropped
  std::unique_ptr<TthdUpload> upload_;
  std::unique_ptr<TthdAutoUpdate> update_;
  THttpServer http_;
};

}  // namespace kv
