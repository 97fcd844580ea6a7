#include "gui/DisplayWindows.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "app/MainCycle.h"
#include "app/Monitor.h"
#include "core/EventLog.h"
#include "core/Process.h"
#include "displays/Banner.h"
#include "displays/Light.h"
#include "gui/WindowPlacement.h"
#include "settings/IniFile.h"

namespace kv {

namespace {

const tDisplayKind Kinds[] = {
    {"TfrmLight", "frmLight", "light", "Light", "LightX", "LightY", "ShowLight", "dis2 ",
     &tSettings::ShowLight, &tSettings::LightX, &tSettings::LightY, [](QImage& i, const tDisplayData& d) { DrawLight(i, d); }},
    {"TfrmBanner", "frmBanner", "banner", "Banner", "BannerX", "BannerY", "ShowBanner", "dis3 ",
     &tSettings::ShowBanner, &tSettings::BannerX, &tSettings::BannerY, [](QImage& i, const tDisplayData& d) { DrawBanner(i, d); }},
};

Qt::WindowFlags CreationFlags(const tSettings& s) {
  // A tool window gets no taskbar entry; no owner, so it lives on its own.
  Qt::WindowFlags flags = Qt::Tool | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint;
  if (s.OnTopLBT) flags |= Qt::WindowStaysOnTopHint;
  if (s.ClickThrough) flags |= Qt::WindowTransparentForInput;
  return flags;
}

std::string ClientIniPath(const tProcessFacts& process) { return process.SettingsDir + ClientIniName; }

}  // namespace

const tDisplayKind& DisplayKind(tDisplay which) { return Kinds[static_cast<int>(which)]; }

void SetWindowAlpha(QWidget& window, int value) {
  value = std::clamp(value, 0, 255);
  // 1.0 removes the opacity property, so an opaque window is not blended at all.
  const double opacity = value == 255 ? 1.0 : value / 255.0;
  if (std::abs(window.windowOpacity() - opacity) > 1e-6) window.setWindowOpacity(opacity);
}

TfrmDisplay::TfrmDisplay(const tDisplayKind& kind, tMonitor& monitor)
    : QWidget(nullptr, CreationFlags(monitor.Settings)), kind_(kind), m_(monitor) {
  setObjectName(QString::fromLatin1(kind.formName));
  setWindowTitle(QString::fromLatin1(kind.className));
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_QuitOnClose, false);
  setAttribute(Qt::WA_OpaquePaintEvent);
  SetWindowAlpha(*this, m_.Settings.LightAlpha);
}

void TfrmDisplay::Redraw() {
  kind_.draw(img_, m_.Display());
  if (!img_.isNull() && size() != img_.size()) resize(img_.size());
  update();
}

void TfrmDisplay::SetClickThrough(bool on) {
  if (ClickThrough() == on) return;
  dragging_ = false;
  Qt::WindowFlags flags = windowFlags();
  flags.setFlag(Qt::WindowTransparentForInput, on);
  if (QWindow* handle = windowHandle()) {
    // Changed on the live window: setWindowFlags would unmap and map it again.
    overrideWindowFlags(flags);
    handle->setFlags(flags);
  } else {
    setWindowFlags(flags);
  }
}

void TfrmDisplay::PlaceSnapped(const QRect& proposed) {
  QRect target = proposed;
  if (ClientsPlaceWindows()) {
    const QScreen* at = QGuiApplication::screenAt(proposed.center());
    if (!at) at = screen();
    if (at) target = SnapToWorkArea(proposed, at->availableGeometry());
  }
  placing_ = true;
  if (target.size() != size()) resize(target.size());
  move(target.topLeft());
  placing_ = false;
}

void TfrmDisplay::paintEvent(QPaintEvent*) {
  QPainter p(this);
  // A window widened by snapping shows the picture at its left and black beside it until the
  // next refresh sizes it to the picture again.
  p.fillRect(rect(), Qt::black);
  if (!img_.isNull()) p.drawImage(0, 0, img_);
}

void TfrmDisplay::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || m_.Settings.ClickThrough) {
    QWidget::mousePressEvent(event);
    return;
  }
  // The window manager's own move where it offers one (and always on Wayland, where it is the
  // only way); otherwise the window follows the cursor itself.
  if (windowHandle() && windowHandle()->startSystemMove()) return;
  dragging_ = true;
  grab_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void TfrmDisplay::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_ || !(event->buttons() & Qt::LeftButton) || m_.Settings.ClickThrough) {
    dragging_ = false;
    return;
  }
  // The proposal has the picture's size, so a window widened at one edge narrows again when it
  // is dragged away from it.
  const QSize size = img_.isNull() ? frameGeometry().size() : img_.size();
  PlaceSnapped(QRect(event->globalPosition().toPoint() - grab_, size));
}

void TfrmDisplay::mouseReleaseEvent(QMouseEvent* event) {
  dragging_ = false;
  QWidget::mouseReleaseEvent(event);
}

void TfrmDisplay::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  // Moves made by the window manager (its interactive move) snap here.
  if (placing_ || !isVisible() || !ClientsPlaceWindows()) return;
  const QRect frame = frameGeometry();
  const QScreen* at = QGuiApplication::screenAt(frame.center());
  if (!at) at = screen();
  if (at && SnapToWorkArea(frame, at->availableGeometry()) != frame) PlaceSnapped(frame);
}

void TfrmDisplay::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;
  try {
    IniFile ini(ClientIniPath(m_.Process));
    ini.WriteBool(kind_.section, kind_.shownKey, true);
    const QScreen* desktop = screen();
    if (ClientsPlaceWindows() && desktop) {
      const QPoint at = StartPosition(ini.ReadInteger(kind_.section, kind_.xKey, PositionUnset),
                                      ini.ReadInteger(kind_.section, kind_.yKey, PositionUnset),
                                      frameGeometry().size(), desktop->availableGeometry(),
                                      desktop->virtualGeometry());
      placing_ = true;
      move(at);
      placing_ = false;
      m_.Settings.*kind_.x = at.x();
      m_.Settings.*kind_.y = at.y();
    }
    ini.UpdateFile();
  } catch (const std::exception&) {
    // The place and the shown key are conveniences.
  }
}

void TfrmDisplay::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (event->spontaneous()) return;
  dragging_ = false;
  try {
    IniFile ini(ClientIniPath(m_.Process));
    // Where the compositor places windows the client never learns a true position.
    if (ClientsPlaceWindows()) {
      const QPoint at = frameGeometry().topLeft();
      ini.WriteInteger(kind_.section, kind_.xKey, at.x());
      ini.WriteInteger(kind_.section, kind_.yKey, at.y());
      m_.Settings.*kind_.x = at.x();
      m_.Settings.*kind_.y = at.y();
    }
    ini.DeleteKey(kind_.section, kind_.shownKey);
    ini.UpdateFile();
  } catch (const std::exception&) {
    // As when showing.
  }
}

void TfrmDisplay::closeEvent(QCloseEvent* event) {
  event->ignore();
  if (CloseRequested) CloseRequested();
}

TDisplayWindows::TDisplayWindows(TMainCycle& cycle) : cycle_(cycle), m_(cycle.Monitor()) {
  connect(&cycle_, &TMainCycle::DisplaysDue, this, &TDisplayWindows::Refresh);
  connect(&cycle_, &TMainCycle::ClickThroughChanged, this, &TDisplayWindows::ApplyClickThrough);
  connect(&cycle_, &TMainCycle::ShuttingDown, this, &TDisplayWindows::CloseAll);
  if (ClientsPlaceWindows())
    LogEvent("Light and banner windows: placed, snapped and kept on top by Kelvara");
  else
    LogEvent("Light and banner windows: position, snapping and staying on top are the compositor's");
}

TDisplayWindows::~TDisplayWindows() = default;

void TDisplayWindows::ShowWindow(tDisplay which) {
  const tDisplayKind& kind = DisplayKind(which);
  LogEvent(std::string("Showing ") + kind.what + " display");
  m_.Settings.*kind.shown = true;
  cycle_.RefreshDisplays();
}

void TDisplayWindows::HideWindow(tDisplay which) {
  const tDisplayKind& kind = DisplayKind(which);
  LogEvent(std::string("Hiding ") + kind.what + " display");
  m_.Settings.*kind.shown = false;
  if (auto& window = windows_[static_cast<int>(which)]) {
    window->hide();
    window.reset();
  }
}

void TDisplayWindows::Toggle(tDisplay which) {
  if (m_.Settings.*DisplayKind(which).shown) HideWindow(which);
  else ShowWindow(which);
}

void TDisplayWindows::ApplyClickThrough(bool on) {
  for (auto& window : windows_)
    if (window) window->SetClickThrough(on);
}

void TDisplayWindows::Refresh() {
  RefreshOne(tDisplay::Light);
  RefreshOne(tDisplay::Banner);
}

void TDisplayWindows::RefreshOne(tDisplay which) {
  const tDisplayKind& kind = DisplayKind(which);
  if (!(m_.Settings.*kind.shown)) return;
  try {
    auto& window = windows_[static_cast<int>(which)];
    if (!window) {
      window = std::make_unique<TfrmDisplay>(kind, m_);
      // Deferred: the window must not be freed inside its own close event.
      window->CloseRequested = [this, which] {
        QMetaObject::invokeMethod(this, [this, which] {
          if (Window(which)) HideWindow(which);
        }, Qt::QueuedConnection);
      };
    }
    // Drawn before it first shows, so its place is checked with its real size.
    window->Redraw();
    // Settings reloads come through here too (opacity, click-through from the options).
    SetWindowAlpha(*window, m_.Settings.LightAlpha);
    window->SetClickThrough(m_.Settings.ClickThrough);
    if (!window->isVisible() && window->HasPicture()) window->show();
  } catch (const std::exception& e) {
    LogError(kind.failureTag, e);
  }
}

void TDisplayWindows::CloseAll() {
  for (auto& window : windows_) {
    if (!window) continue;
    window->hide();
    window.reset();
  }
}

}  // namespace kv
