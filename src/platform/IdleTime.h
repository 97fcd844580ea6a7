#pragma once
// How long the user has left keyboard and mouse alone.
#include <cstdint>
#include <optional>

namespace kv {

// Seconds since the last input, from the X server's screen-saver extension. nullopt without a
// reachable X display (no $DISPLAY, Wayland without Xwayland, a server without the extension).
std::optional<uint32_t> ReadIdleSeconds();

}  // namespace kv
