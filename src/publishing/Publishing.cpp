#include "publishing/Publishing.h"

#include "core/EventLog.h"
#include "core/Process.h"
#include "displays/ImageSaving.h"
#include "publishing/http/Metrics.h"
#include "readvalue/ReadingsJson.h"
#include "settings/Language.h"
#include "settings/Settings.h"

namespace kv {

Publishing::~Publishing() {
  FreeUpload();
  FreeUpdate();
}

bool Publishing::ImagesWaiting() {
  return !queue_.get(tImageKind::Light).name.empty() ||
         !queue_.get(tImageKind::Banner).name.empty();
}

void Publishing::CreateUpload() {
  if (upload_) FreeUpload();
  SetProtocolPasswords(Settings.FTPPass, Settings.FTPProxyPass);
  upload_ = std::make_unique<TthdUpload>(Settings, Texts(), DebugMode(), queue_);
  upload_->Start();
}

void Publishing::FreeUpload() {
  if (!upload_) return;
  upload_->Stop();
  upload_.reset();
}

void Publishing::UploadNow(const std::function<void()>& saveFresh) {
  if (upload_ && !upload_->Running()) FreeUpload();
  if (upload_) {
    LogEvent("Upload/mailing thread still running");
    return;
  }
  if (saveFresh) saveFresh();
  if (ImagesWaiting()) {
    LogEvent("Creating upload/mailing thread");
    CreateUpload();
  }
}

void Publishing::ApplyHttpServer() {
  http_.Apply(Settings, AppDir, PictureFolder());
  PublishReadings();
}

void Publishing::PublishReadings() {
  if (!http_.Running()) return;  // nobody to answer: the pass path stays free of this work
  auto readings = std::make_shared<tHttpReadings>();
  readings->metrics = MetricsText();
  readings->json = ReadingsJson(extraJson_ ? extraJson_() : std::vector<tJsonMember>{});
  http_.PublishReadings(std::move(readings));
}

}  // namespace kv
