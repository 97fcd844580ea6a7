#pragma once
// How the publishing threads reach the main thread: a queued call on the application object.
// Without an application (nothing runs the event loop) the call is dropped.
#include <functional>

namespace kv {

void OnMainThread(std::function<void()> fn);

}  // namespace kv
