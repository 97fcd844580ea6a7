#pragma once
// The machine's power state, through systemd-logind. Without logind (containers, CI) every
// capability is false and every action does nothing.
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

}  // namespace kv
