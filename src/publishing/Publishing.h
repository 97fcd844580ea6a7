#pragma once
// The publishing services behind the main cycle's port: the upload and the HTTP server; the
// update check does nothing yet.
#include <functional>
#include <memory>

#include "core/PublishingPort.h"
#include "publishing/http/HttpServer.h"
#include "publishing/upload/UploadThread.h"

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
  bool UpdateExists() override { return false; }
  bool UpdateRunning() override { return false; }
  void FreeUpdate() override {}
  void UpdateCheck(bool) override {}
  void ApplyHttpServer() override;
  // Hands the server the readings of the pass just ended (/metrics, /api/v1/readings).
  void PublishReadings();

  void UploadNow(const std::function<void()>& saveFresh) override;

  // Where runs find the queue; tests bring their own.
  void SetQueue(tUploadQueue queue) { queue_ = std::move(queue); }

 private:
  std::unique_ptr<TthdUpload> upload_;
  tUploadQueue queue_;
  THttpServer http_;
};

}  // namespace kv
