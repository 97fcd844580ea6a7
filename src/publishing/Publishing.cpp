#include "publishing/Publishing.h"

#include "core/EventLog.h"
#include "core/Process.h"
#include "displays/ImageSaving.h"
#include "publishing/http/Metrics.h"
#include "readvalue/ReadingsJson.h"
#include "settings/Language.h"
#include "settings/Settings.h"

namespace kv {

Publishing::Publishing(const tPublishingSources& sources, tPublishingOptions options)
    : sources_(sources), options_(std::move(options)) {}

Publishing::~Publishing() {
  FreeUpload();
  FreeUpdate();
}

tMainThread Publishing::MainThread() { return {&context_, sources_.Ui, sources_.Settings, sources_.Process}; }

tUpdateSetup Publishing::UpdateSetup() { return {MainThread(), options_.opener, options_.trustStore, sources_.Time}; }

bool Publishing::ImagesWaiting() {
  return sources_.Pictures.Waiting();
}

void Publishing::CreateUpload() {
  if (upload_) FreeUpload();
  const tSettings& s = sources_.Settings;
  SetProtocolPasswords(s.FTPPass, s.FTPProxyPass);
  upload_ = std::make_unique<TthdUpload>(s, Texts(), DebugMode(), UploadQueueOf(sources_.Pictures), MainThread());
  upload_->Start();
}

void Publishing::FreeUpload() {
  if (!upload_) return;
  upload_->Stop();
  upload_.reset();
}

void Publishing::UpdateCheck(bool force) { CheckForUpdates(update_, force, UpdateSetup()); }

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
  http_.Apply(sources_.Settings, sources_.Process,
              PictureFolder(sources_.Settings, sources_.Process, sources_.Ui), sources_.Ui);
  PublishReadings();
}

void Publishing::PublishReadings() {
  if (!http_.Running()) return;  // nobody to answer: the pass path stays free of this work
  const std::span<const tStepHealth> health = sources_.Pass.StepHealth();
  auto readings = std::make_shared<tHttpReadings>();
  readings->metrics = MetricsText(sources_.Current, sources_.Settings, health,
                                  options_.extraMetrics ? options_.extraMetrics() : std::string());
  readings->json = ReadingsJson(sources_.Current, sources_.Settings, health,
                                options_.extraJson ? options_.extraJson() : std::vector<tJsonMember>{});
  http_.PublishReadings(std::move(readings));
}

}  // namespace kv
