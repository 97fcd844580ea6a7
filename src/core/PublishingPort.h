#pragma once
// The seam between the main cycle and the publishing services (upload thread, update thread,
// HTTP server). The cycle only asks and starts; the services live in their own layer and
// implement this. Main thread only.

#include <functional>

namespace kv {

class PublishingPort {
 public:
  virtual ~PublishingPort() = default;
  // A newly saved picture is waiting for upload.
  virtual bool ImagesWaiting() = 0;
  virtual bool UploadExists() = 0;
  virtual bool UploadRunning() = 0;
  virtual void CreateUpload() = 0;
  // Asks the upload thread to stop, waits for it and frees it.
  virtual void FreeUpload() = 0;
  // The upload command: frees a finished run; while one runs only logs that; otherwise saves
  // fresh pictures (saveFresh runs the enabled picture timers' bodies) and starts a run when
  // a picture waits.
  virtual void UploadNow(const std::function<void()>& saveFresh) = 0;
  virtual bool UpdateExists() = 0;
  virtual bool UpdateRunning() = 0;
  virtual void FreeUpdate() = 0;
  // Starts an update check when the last one is old enough, or at once when forced.
  virtual void UpdateCheck(bool force) = 0;
  // Sets the HTTP server up from the settings (port, TLS files, on or off).
  virtual void ApplyHttpServer() = 0;
};

}  // namespace kv
