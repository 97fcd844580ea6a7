#pragma once
// The running instance until the main window exists: answers the messages of other
// processes; a close ends the event loop.
#include <QObject>
#include <memory>

#include "platform/Instance.h"

namespace kv {

class KelvaraInstance : public QObject {
  Q_OBJECT
 public:
  KelvaraInstance();
  bool Start(const std::string& socketPath);
  void HandleMessage(int message);

 private:
  void ShutDown();
  std::unique_ptr<InstanceServer> server_;
  bool sessionEnding_ = false;
  bool closed_ = false;
};

}  // namespace kv
