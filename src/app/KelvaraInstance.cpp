#include "app/KelvaraInstance.h"

#include <QCoreApplication>

#include "core/EventLog.h"
#include "settings/Settings.h"

namespace kv {

KelvaraInstance::KelvaraInstance()
    : server_(std::make_unique<InstanceServer>([this](int m) { HandleMessage(m); })) {}

bool KelvaraInstance::Start(const std::string& socketPath) { return server_->Listen(socketPath); }

void KelvaraInstance::HandleMessage(int message) {
  switch (message) {
    case WM_SHOW_INSTANCE:
      LogEvent("Show instance requested");
      break;
    case WM_OPTIONS_CHANGED:
      LogEvent("Options change detected");
      break;
    case WM_QUERYENDSESSION:
      // No question and no hiding: the session is going away.
      sessionEnding_ = true;
      LogEvent("Shutdown/logoff detected");
      ShutDown();
      break;
    case WM_CLOSE:
      if (!sessionEnding_) LogEvent("Attempt to close Kelvara detected");
      ShutDown();
      break;
    default:
      break;
  }
}

void KelvaraInstance::ShutDown() {
  if (closed_) return;
  closed_ = true;
  WriteSettings(false);
  SaveWindowState();
  LogEvent("Exiting");
  QCoreApplication::quit();
}

}  // namespace kv
