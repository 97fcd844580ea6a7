#pragma once
// What a publishing thread reaches on the main thread: the user interface, and the monitor's
// settings and folders for what it stores. Every use is a call queued on the context object;
// a call still queued when the context goes (or without an event loop) is dropped.
#include <functional>

class QObject;

namespace kv {

class UiPort;
struct tSettings;
struct tProcessFacts;

struct tMainThread {
  QObject* context;  // nullptr: the application object
  UiPort& ui;
  tSettings& settings;
  const tProcessFacts& process;

  void Post(std::function<void()> fn) const;
};

}  // namespace kv
