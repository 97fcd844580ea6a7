#pragma once
// Waiting inside the event loop, for tests of real windows.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace kvtest {

inline void Wait(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// True once the window is mapped and exposed by the X server (at most 3 s).
inline bool WaitExposed(QWidget* widget) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 3000) {
    if (widget->windowHandle() && widget->windowHandle()->isExposed()) return true;
    Wait(10);
  }
  return false;
}

}  // namespace kvtest
