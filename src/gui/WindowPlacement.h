#pragma once
// Where the main window may stand: snapping to the work area's edges and the start position
// kept on the desktop.
#include <QRect>
#include <optional>

class QWidget;

namespace kv {

// The proposed frame rectangle snapped to every work-area edge closer than `distance` pixels;
// a window snapped to the right (bottom) edge that then also reaches the left (top) edge is
// stretched over the whole work-area width (height).
QRect SnapToWorkArea(const QRect& proposed, const QRect& workArea, int distance = 10);

// The start position from the stored Left/Top (PositionUnset: centred on the work area), moved
// back inside the desktop rectangle.
QPoint StartPosition(int left, int top, const QSize& window, const QRect& workArea, const QRect& desktop);

// The top left corner that puts the frame inside the work area, moving it as little as
// possible; a frame larger than the work area keeps its top left corner (title bar) inside.
QPoint InsideWorkArea(const QRect& frame, const QRect& workArea);

// False where the compositor places windows itself (Wayland): a client's own move is ignored
// there, so neither snapping nor stored positions apply.
bool ClientsPlaceWindows();

// The window's outermost frame as the X server has it now (the window manager's frame, or the
// window itself where none is), in the widget's logical pixels; nullopt off X11 or when the
// server does not answer. Qt learns of a late frame late, and on a busy window manager its
// idea of the frame's position can be stale.
std::optional<QRect> OuterFrameOnServer(const QWidget& window);

}  // namespace kv
