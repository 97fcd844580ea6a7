#pragma once
// The light and banner windows: small frameless pictures floating on the desktop, dragged by
// their body, snapped to the work area, translucent with LightAlpha and optionally transparent
// to the mouse. One class serves both; a table row says what differs.
//
// Window systems: on X11 every behaviour is ours (position, snapping, staying on top, the empty
// input region of click-through; translucency shows once a compositing manager runs). On Wayland
// the compositor alone decides where a window stands and whether it stays on top, so stored
// positions, the desktop checks and snapping have no effect there; the windows still show,
// move by the compositor's interactive move and let clicks through.
#include <QImage>
#include <QObject>
#include <QPoint>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "displays/DisplayData.h"
#include "settings/Settings.h"

namespace kv {

class TMainCycle;
struct tMonitor;

// What tells the light window from the banner window.
struct tDisplayKind {
  const char* className;   // TfrmLight, TfrmBanner
  const char* formName;    // the window's object name
  const char* what;        // "light" in "Showing light display"
  const char* section;     // KVClient.ini section of the keys below
  const char* xKey;
  const char* yKey;
  const char* shownKey;    // present while the window is open
  const char* failureTag;  // a failed refresh
  bool tSettings::*shown;  // the shown flag
  int32_t tSettings::*x;
  int32_t tSettings::*y;
  void (*draw)(QImage&, const tDisplayData&);
};

enum class tDisplay { Light = 0, Banner = 1 };
const tDisplayKind& DisplayKind(tDisplay which);

// Opacity of value / 255; 255 switches blending off.
void SetWindowAlpha(QWidget& window, int value);

class TfrmDisplay final : public QWidget {
 public:
  TfrmDisplay(const tDisplayKind& kind, tMonitor& monitor);

  const tDisplayKind& Kind() const { return kind_; }
  // Draws the picture and sizes the window to it; throws what the drawing throws.
  void Redraw();
  const QImage& Image() const { return img_; }
  bool HasPicture() const { return !img_.isNull(); }
  void SetClickThrough(bool on);
  bool ClickThrough() const { return windowFlags().testFlag(Qt::WindowTransparentForInput); }
  // Places the window with its frame at proposed, snapped to the work area.
  void PlaceSnapped(const QRect& proposed);

  // Asked when the window system wants the window closed: it only hides.
  std::function<void()> CloseRequested;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  const tDisplayKind& kind_;
  tMonitor& m_;
  QImage img_;
  bool placing_ = false;
  bool dragging_ = false;
  QPoint grab_;  // cursor position relative to the frame's top-left while dragging
};

// Both windows, driven by the main cycle: drawn on every display refresh while their flag is
// set, closed at shut-down. Main thread only.
class TDisplayWindows final : public QObject {
 public:
  explicit TDisplayWindows(TMainCycle& cycle);
  ~TDisplayWindows() override;

  void ShowWindow(tDisplay which);
  void HideWindow(tDisplay which);
  void Toggle(tDisplay which);
  // The click-through the cycle switched, applied to both windows.
  void ApplyClickThrough(bool on);
  // The light and banner steps of a display refresh.
  void Refresh();
  // Shut-down: both windows hidden and freed; the shown flags stay for the next start.
  void CloseAll();
  TfrmDisplay* Window(tDisplay which) const { return windows_[static_cast<int>(which)].get(); }

 private:
  void RefreshOne(tDisplay which);

  TMainCycle& cycle_;
  tMonitor& m_;
  std::array<std::unique_ptr<TfrmDisplay>, 2> windows_;
};

}  // namespace kv
