#pragma once
// The publishing services before they exist: nothing is uploaded, updated or served, but the
// pictures the timers saved are reported as waiting, so the cycle logs what it would start.
#include "core/PublishingPort.h"
#include "displays/ImageSaving.h"

namespace kv {

class NoPublishing final : public PublishingPort {
 public:
  explicit NoPublishing(const tPictureQueue& pictures) : pictures_(pictures) {}
  bool ImagesWaiting() override { return pictures_.Waiting(); }
  bool UploadExists() override { return false; }
  bool UploadRunning() override { return false; }
  void CreateUpload() override {}
  void FreeUpload() override {}
  // Fresh pictures are saved; there is nobody to send them.
  void UploadNow(const std::function<void()>& saveFresh) override {
    if (saveFresh) saveFresh();
  }
  bool UpdateExists() override { return false; }
  bool UpdateRunning() override { return false; }
  void FreeUpdate() override {}
  void UpdateCheck(bool) override {}
  void ApplyHttpServer() override {}

 private:
  const tPictureQueue& pictures_;
};

}  // namespace kv
