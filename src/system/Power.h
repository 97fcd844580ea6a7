#pragma once
// The machine's power state, through systemd-logind. Without logind (containers, CI) every
// capability is false and every action does nothing.
#include <QObject>
#include <cstdint>

namespace kv {

constexpr uint32_t IdleUnknown = 0xFFFFFFFFu;

struct tPowerCapabilities {
  bool hibernate = false;
  bool suspend = false;
};
tPowerCapabilities PowerCapabilities();

// Standby (or hibernation); returns after waking, or at once when refused. False when refused.
bool SuspendSystem(bool hibernate, bool force);
// Shuts the machine down and powers it off; false when refused.
bool ShutdownSystem();
// Seconds since the user last touched mouse or keyboard; IdleUnknown when it cannot be told.
uint32_t IdleSeconds();

// The system's announcements before standby and after waking (logind's PrepareForSleep).
class PowerEvents : public QObject {
  Q_OBJECT
 public:
  explicit PowerEvents(QObject* parent = nullptr);
  bool Connected() const { return connected_; }
 signals:
  void Sleeping(bool goingToSleep);
 private slots:
  void OnPrepareForSleep(bool start);
 private:
  bool connected_ = false;
};

// How a wait for the wake ended.
enum class tWakeWait { Woke, NoSleep, NoWake };
// Runs an event loop until events report the wake after a sleep. Gives up when no sleep begins
// within startMs, or no wake follows within wakeMs (timers count only waking time).
tWakeWait WaitForWake(PowerEvents& events, int startMs, int wakeMs);

}  // namespace kv
