#pragma once
// The status bar with its one owner-drawn panel: the time-stamped status text and, while a
// transfer runs, a progress bar with its figures. The texts are combined with the bar by
// exclusive-or, so they show inverted over the progress bar and the background alike.
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <string>
#include <utility>

namespace kv {

constexpr int StatusBarHeight = 20;
constexpr int StatusPanelWidth = 350;

// "<done> of <total> (<percent> %)" with the language's pattern; empty when no total is known.
std::string ProgressText(int64_t done, int64_t total);

// Draws the panel into bar (the status bar's picture, already filled with its background):
// the progress part in barColour, then the panel text at the left and the progress text
// ending 30 pixels before the right edge, each one pixel below the top, inverted.
void DrawStatusPanel(QImage& bar, const QRect& panel, const QFont& font, const std::string& text,
                     int64_t done, int64_t total, QColor barColour);

struct tTransferProgress;
// The done and total counts the panel shows: none once the transfer has reported its end, so a
// finished download leaves no bar and no figures under the next status text.
std::pair<int64_t, int64_t> ShownProgress(const tTransferProgress& progress);

class TStatusBar final : public QWidget {
 public:
  explicit TStatusBar(QWidget* parent = nullptr);
  void SetText(const std::string& text);
  const std::string& Text() const { return text_; }
  // From any thread: asks for a repaint of the progress, at most ten a second.
  void ProgressChanged();
  int Repaints() const { return repaints_; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  std::string text_;
  QTimer repaintTimer_;
  std::atomic<bool> repaintPending_{false};
  int repaints_ = 0;
};

}  // namespace kv
