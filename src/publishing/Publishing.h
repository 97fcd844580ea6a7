#pragma once
// The publishing services behind the main cycle's port. The upload half is here; the update
// check and the HTTP server do nothing yet.
#include <functional>
#include <memory>

#include "core/PublishingPort.h"
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
  void ApplyHttpServer() override {}

  void UploadNow(const std::function<void()>& saveFresh) override;

  // Where runs find the queue; tests bring their own.
  void SetQueue(tUploadQueue queue) { queue_ = std::move(queue); }

 private:
  std::unique_ptr<TthdUpload> upload_;
  tUploadQueue queue_;
};

}  // namespace kv
