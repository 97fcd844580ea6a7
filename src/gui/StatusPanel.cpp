#include "gui/StatusPanel.h"

#include <QPainter>
#include <cmath>

#include "core/TransferProgress.h"
#include "displays/Formatting.h"
#include "settings/Language.h"

namespace kv {

std::string ProgressText(int64_t done, int64_t total) {
  if (total <= 0) return {};
  const long long percent = std::llround(static_cast<double>(done) * 100.0 / static_cast<double>(total));
  return FormatTexts(Texts()->Loaded, {FormatBytes(static_cast<double>(done)),
                                       FormatBytes(static_cast<double>(total)), std::to_string(percent)});
}

void DrawStatusPanel(QImage& bar, const QRect& panel, const QFont& font, const std::string& text,
                     int64_t done, int64_t total, QColor barColour) {
  QPainter p(&bar);
  if (total > 0) {
    // 64-bit: a transfer of several GiB times a panel width overflows 32 bits.
    const int64_t filled = std::clamp<int64_t>(done, 0, total) * panel.width() / total;
    p.fillRect(QRect(panel.left(), panel.top(), static_cast<int>(filled), panel.height()), barColour);
  }
  p.end();

  QImage mask(panel.size(), QImage::Format_RGB32);
  mask.fill(Qt::black);
  QPainter m(&mask);
  QFont crisp = font;
  crisp.setStyleStrategy(QFont::NoAntialias);  // exclusive-or of grey edges would be noise
  m.setFont(crisp);
  m.setPen(Qt::white);
  const QFontMetrics metrics(crisp);
  const int baseline = 1 + metrics.ascent();
  int textRoom = panel.width();
  if (total > 0) {
    const QString progress = QString::fromStdString(ProgressText(done, total));
    const int right = panel.width() - 30;
    const int left = right - metrics.horizontalAdvance(progress);
    m.drawText(left, baseline, progress);
    textRoom = left - 6;  // the status text is shortened before it runs under the figures
  }
  m.drawText(0, baseline, metrics.elidedText(QString::fromStdString(text), Qt::ElideRight, textRoom));
  m.end();

  const QRect area = panel.intersected(bar.rect());
  for (int y = area.top(); y <= area.bottom(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(bar.scanLine(y));
    const auto* source = reinterpret_cast<const QRgb*>(mask.constScanLine(y - panel.top()));
    for (int x = area.left(); x <= area.right(); ++x) line[x] ^= source[x - panel.left()] & 0x00FFFFFFu;
  }
}

std::pair<int64_t, int64_t> ShownProgress(const tTransferProgress& progress) {
  if (!progress.transferring.load()) return {0, 0};
  return {progress.done.load(), progress.total.load()};
}

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent) {
  setFixedHeight(StatusBarHeight);
  repaintTimer_.setSingleShot(true);
  repaintTimer_.setInterval(100);
  connect(&repaintTimer_, &QTimer::timeout, this, [this] {
    repaintPending_ = false;
    update();
  });
}

void TStatusBar::SetText(const std::string& text) {
  text_ = text;
  update();
}

void TStatusBar::ProgressChanged() {
  if (repaintPending_.exchange(true)) return;
  // The timer lives on the main thread; start it there.
  QMetaObject::invokeMethod(this, [this] { repaintTimer_.start(); }, Qt::QueuedConnection);
}

void TStatusBar::paintEvent(QPaintEvent*) {
  ++repaints_;
  QImage bar(size(), QImage::Format_RGB32);
  bar.fill(palette().color(QPalette::Window));
  const auto [done, total] = ShownProgress(TransferProgress());
  // The panel is lowered, as a status bar's panels are: drawn flat in the window's colour, an
  // empty status line read as a blank strip under the chart.
  const QRect frame(0, 1, StatusPanelWidth, height() - 1);
  DrawStatusPanel(bar, frame.adjusted(1, 1, -1, -1), font(), text_, done, total,
                  palette().color(QPalette::Active, QPalette::Highlight));
  QPainter p(&bar);
  p.setPen(palette().color(QPalette::Mid));
  p.drawLine(frame.topLeft(), frame.topRight());
  p.drawLine(frame.topLeft(), frame.bottomLeft());
  p.setPen(palette().color(QPalette::Light));
  p.drawLine(frame.bottomLeft() + QPoint(1, 0), frame.bottomRight());
  p.drawLine(frame.topRight() + QPoint(0, 1), frame.bottomRight());
  p.end();
  QPainter window(this);
  window.drawImage(0, 0, bar);
}

}  // namespace kv
