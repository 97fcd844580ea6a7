#include "platform/IdleTime.h"

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

#include <atomic>
#include <cstdlib>
#include <mutex>

namespace kv {

namespace {

std::atomic<bool> connectionLost{false};

// Without this Xlib ends the whole program when the X server goes away (a session that logs
// out under a monitor started from it); afterwards the idle time is simply unknown.
void OnConnectionLost(Display*, void*) { connectionLost = true; }

// One connection for the program's life, opened at the first question. A display that cannot
// be opened, or lacks the extension, is not asked again.
Display* IdleDisplay() {
  static Display* display = [] () -> Display* {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return nullptr;
    Display* d = XOpenDisplay(name);
    if (!d) return nullptr;
    int eventBase = 0, errorBase = 0;
    if (!XScreenSaverQueryExtension(d, &eventBase, &errorBase)) {
      XCloseDisplay(d);
      return nullptr;
    }
    XSetIOErrorExitHandler(d, OnConnectionLost, nullptr);
    return d;
  }();
  return display;
}

}  // namespace

std::optional<uint32_t> ReadIdleSeconds() {
  static std::mutex mutex;  // Xlib connections are not shared between threads unlocked
  std::lock_guard lock(mutex);
  Display* display = IdleDisplay();
  if (!display || connectionLost) return std::nullopt;
  XScreenSaverInfo* info = XScreenSaverAllocInfo();
  if (!info) return std::nullopt;
  std::optional<uint32_t> seconds;
  if (XScreenSaverQueryInfo(display, DefaultRootWindow(display), info))
    seconds = static_cast<uint32_t>(info->idle / 1000);  // milliseconds, already wrap-free
  XFree(info);
  return seconds;
}

}  // namespace kv
