// -suspend: the idle wait begins only after the machine has slept and woken.
#include <gtest/gtest.h>

#include <QTimer>
#include <deque>
#include <vector>

#include "app/Startup.h"
#include "system/Power.h"

namespace kv {
namespace {

struct Recorder {
  std::vector<std::string> steps;
  std::deque<uint32_t> idle;
  tSuspendSteps Steps(bool accepted) {
    tSuspendSteps s;
    s.suspend = [this, accepted] { steps.push_back("suspend"); return accepted; };
    s.waitForWake = [this] { steps.push_back("wake"); };
    s.idleSeconds = [this] {
      steps.push_back("idle");
      const uint32_t v = idle.front();
      if (idle.size() > 1) idle.pop_front();
      return v;
    };
    s.pause = [this] { steps.push_back("pause"); };
    return s;
  }
};

using Steps = std::vector<std::string>;

TEST(Suspend, WaitsForTheWakeBeforeLookingAtTheIdleTime) {
  Recorder r;
  r.idle = {600, 4, 2};
  RunSuspend(r.Steps(true));
  EXPECT_EQ(r.steps, (Steps{"suspend", "wake", "idle", "pause", "idle", "pause", "idle"}));
}

TEST(Suspend, RefusedStandbyOnlyWaitsForTheUser) {
  Recorder r;
  r.idle = {5, 0};
  RunSuspend(r.Steps(false));
  EXPECT_EQ(r.steps, (Steps{"suspend", "idle", "pause", "idle"}));
  Recorder unknown;  // an idle time nobody can measure ends the wait
  unknown.idle = {IdleUnknown};
  RunSuspend(unknown.Steps(false));
  EXPECT_EQ(unknown.steps, (Steps{"suspend", "idle"}));
}

TEST(Suspend, WakeWaitFollowsTheAnnouncements) {
  PowerEvents events;
  QTimer::singleShot(30, &events, [&] { emit events.Sleeping(true); });
  QTimer::singleShot(80, &events, [&] { emit events.Sleeping(false); });
  EXPECT_EQ(WaitForWake(events, 5000, 5000), tWakeWait::Woke);

  // A wake whose announcement of sleep was missed still ends the wait.
  QTimer::singleShot(30, &events, [&] { emit events.Sleeping(false); });
  EXPECT_EQ(WaitForWake(events, 5000, 5000), tWakeWait::Woke);

  EXPECT_EQ(WaitForWake(events, 100, 5000), tWakeWait::NoSleep);
  QTimer::singleShot(30, &events, [&] { emit events.Sleeping(true); });
  EXPECT_EQ(WaitForWake(events, 5000, 150), tWakeWait::NoWake);
}

}  // namespace
}  // namespace kv
