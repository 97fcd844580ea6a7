#pragma once
// The publishing services behind the main cycle's port: the upload, the update check and the
// HTTP server.
#include <functional>
#include <memory>

#include "core/PublishingPort.h"
#include "publishing/update/AutoUpdate.h"
#include "publishing/http/HttpServer.h"
#include "publishing/upload/UploadThread.h"
#include "readvalue/ReadingsJson.h"

namespace kv {

class Publishing final : public PublishingPort {
 public:
  ~Publishing() override;
  bool ImagesWaiting() override;
  bool UploadExists() override { return upload_ != nullptr; }
  bool UploadRunning() override { return upload_ && upload_->Running(); }
  // Creates the upload thread from the current settings and texts; it starts at once.
  void CreateUpload() override;
  void FreeUpload() override;
  bool UpdateExists() override { return update_ != nullptr; }
  bool UpdateRunning() override { return update_ && update_->Running(); }
  void FreeUpdate() override { FreeUpdateThread(update_); }
  void UpdateCheck(bool force) override { CheckForUpdates(update_, force); }
  void ApplyHttpServer() override;
  // Hands the server the readings of the pass just ended (/metrics, /api/v1/readings).
  void PublishReadings();
  // Hands the server the picture a timed save just wrote.
  void PictureSaved(tImageKind kind, const tSavedPicture& picture) {
    http_.PictureSaved(kind, picture.path, picture.bytes);
  }
  // Members the layers above add to the readings object (the active alerts).
  void SetExtraJson(std::function<std::vector<tJsonMember>()> extra) { extraJson_ = std::move(extra); }

  void UploadNow(const std::function<void()>& saveFresh) override;

  // Where runs find the queue; tests bring their own.
  void SetQueue(tUploadQueue queue) { queue_ = std::move(queue); }

 private:
  std::unique_ptr<TthdUpload> upload_;
  std::unique_ptr<TthdAutoUpdate> update_;
  tUploadQueue queue_;
  THttpServer http_;
  std::function<std::vector<tJsonMember>()> extraJson_;
};

}  // namespace kv
