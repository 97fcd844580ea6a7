#pragma once
// Events from the operating system delivered on the main thread's event loop.
#include <QObject>

class QSocketNotifier;

namespace kv {

// Signals when the wall clock is set (not when it merely runs on).
class ClockChangeWatcher : public QObject {
  Q_OBJECT
 public:
  explicit ClockChangeWatcher(QObject* parent = nullptr);
  ~ClockChangeWatcher() override;
  bool Active() const { return fd_ >= 0; }
 signals:
  void ClockChanged();
 private:
  bool Arm();
  void OnReadable();
  int fd_ = -1;
  QSocketNotifier* notifier_ = nullptr;
};

// Turns SIGTERM, SIGINT and SIGHUP into a queued signal: the session is ending.
class TerminationWatcher : public QObject {
  Q_OBJECT
 public:
  explicit TerminationWatcher(QObject* parent = nullptr);
  ~TerminationWatcher() override;
 signals:
  void Terminated(int signalNumber);
 private:
  void OnReadable();
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace kv
