#include "gui/WindowPlacement.h"

#include <QGuiApplication>
#include <algorithm>
#include <cstdlib>

#include "settings/Settings.h"

namespace kv {

QRect SnapToWorkArea(const QRect& proposed, const QRect& workArea, int distance) {
  // Right and bottom are exclusive here: the first pixel outside.
  const int waLeft = workArea.x(), waTop = workArea.y();
  const int waRight = workArea.x() + workArea.width(), waBottom = workArea.y() + workArea.height();
  int x = proposed.x(), y = proposed.y(), w = proposed.width(), h = proposed.height();
  if (std::abs(x - waLeft) < distance) x = waLeft;
  if (std::abs(y - waTop) < distance) y = waTop;
  if (std::abs(x + w - waRight) < distance) {
    x = waRight - w;
    if (std::abs(x - waLeft) < distance) {
      x = waLeft;
      w = workArea.width();
    }
  }
  if (std::abs(y + h - waBottom) < distance) {
    y = waBottom - h;
    if (std::abs(y - waTop) < distance) {
      y = waTop;
      h = workArea.height();
    }
  }
  return {x, y, w, h};
}

QPoint StartPosition(int left, int top, const QSize& window, const QRect& workArea, const QRect& desktop) {
  // Halvings truncate toward zero, as integer division does.
  if (left == PositionUnset) left = (workArea.width() - window.width()) / 2;
  if (top == PositionUnset) top = (workArea.height() - window.height()) / 2;
  const int right = desktop.x() + desktop.width(), bottom = desktop.y() + desktop.height();
  if (left < desktop.x()) left = desktop.x();
  if (left > right - window.width()) left = right - window.width();
  if (top < desktop.y()) top = desktop.y();
  if (top > bottom - window.height()) top = bottom - window.height();
  return {left, top};
}

QPoint InsideWorkArea(const QRect& frame, const QRect& workArea) {
  const int right = workArea.x() + workArea.width(), bottom = workArea.y() + workArea.height();
  const int x = std::max(workArea.x(), std::min(frame.x(), right - frame.width()));
  const int y = std::max(workArea.y(), std::min(frame.y(), bottom - frame.height()));
  return {x, y};
}

bool ClientsPlaceWindows() {
  return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

}  // namespace kv
