#include "app/Monitor.h"

namespace kv {

tMonitor::tMonitor(const Clock& clock)
    : Time(clock),
      Pass(Settings, Current, Process, clock),
      Series(Settings, Current, Process, clock, [this](bool force) { Pass.ReadAllValues(force); }),
      Alerts(Settings, Current, Pass) {}

void tMonitor::ReadSettings() { kv::ReadSettings(Settings, Process, PowerAllowed); }

}  // namespace kv
