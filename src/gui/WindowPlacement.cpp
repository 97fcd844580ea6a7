#include "gui/WindowPlacement.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>
#include <algorithm>
#include <cstdlib>
#include <memory>

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

std::optional<QRect> OuterFrameOnServer(const QWidget& window) {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->connection() || !window.windowHandle()) return std::nullopt;
  xcb_connection_t* c = x11->connection();
  xcb_window_t top = static_cast<xcb_window_t>(window.winId());
  // Up to the child of the root: frames nest a few windows deep at most.
  for (int depth = 0; depth < 8; ++depth) {
    const std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
        xcb_query_tree_reply(c, xcb_query_tree(c, top), nullptr), &std::free);
    if (!tree) return std::nullopt;
    if (tree->parent == tree->root || tree->parent == XCB_NONE) break;
    top = tree->parent;
  }
  const std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> g(
      xcb_get_geometry_reply(c, xcb_get_geometry(c, top), nullptr), &std::free);
  if (!g) return std::nullopt;
  const qreal scale = window.devicePixelRatioF() > 0 ? window.devicePixelRatioF() : 1.0;
  const int border = 2 * g->border_width;
  return QRect(qRound(g->x / scale), qRound(g->y / scale), qRound((g->width + border) / scale),
               qRound((g->height + border) / scale));
}

}  // namespace kv
