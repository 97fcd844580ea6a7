// The status panel: the progress figures, the bar and the inverted texts, and the repaint rate
// when a transfer thread reports at any speed.
#include <gtest/gtest.h>

#include <QApplication>
#include "gui/Wait.h"
#include <atomic>
#include <thread>

#include "core/TransferProgress.h"
#include "displays/Formatting.h"
#include "gui/StatusPanel.h"
#include "core/Process.h"
#include "settings/Language.h"

namespace kv {
namespace {

void LoadEnglish() {
  ResetTexts();
  LoadLanguage(tProcessFacts{.AppDir = KV_BIN_DIR "/"}, "English.lng");
}

const QColor Background(0xC0, 0xC0, 0xC0), Bar(0x00, 0x00, 0x80);

QImage DrawnBar(const std::string& text, int64_t done, int64_t total) {
  QImage bar(500, StatusBarHeight, QImage::Format_RGB32);
  bar.fill(Background);
  QFont font;
  font.setPixelSize(11);
  DrawStatusPanel(bar, QRect(0, 0, StatusPanelWidth, StatusBarHeight), font, text, done, total, Bar);
  return bar;
}

int CountColour(const QImage& image, QRect area, QRgb colour) {
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
  return n;
}

TEST(StatusPanel, ProgressTextGivesBothSizesAndTheRoundedPercentage) {
  LoadEnglish();
  ASSERT_FALSE(Texts()->Loaded.empty());
  EXPECT_EQ(ProgressText(0, 0), "");
  // 2 of 3 bytes is 66.67 %, shown rounded.
  const std::string text = ProgressText(2, 3);
  EXPECT_NE(text.find(FormatBytes(2)), std::string::npos);
  EXPECT_NE(text.find(FormatBytes(3)), std::string::npos);
  EXPECT_NE(text.find("(67 %)"), std::string::npos) << text;
  // Counts beyond 32 bits.
  EXPECT_NE(ProgressText(int64_t{3} << 33, int64_t{4} << 33).find(FormatBytes(double(int64_t{4} << 33))),
            std::string::npos);
}

TEST(StatusPanel, BarCoversTheDoneShareAndTextsAreInverted) {
  LoadEnglish();
  // A quarter done of a transfer larger than 32 bits: 87 of 350 pixels.
  const int64_t total = int64_t{40} << 30;
  const QImage bar = DrawnBar("Hello", total / 4, total);
  const QRgb barInverted = QColor(Bar).rgb() ^ 0xFFFFFF, backInverted = Background.rgb() ^ 0xFFFFFF;
  // The bottom row holds no text: bar up to x = 86, background after it.
  EXPECT_EQ(bar.pixel(0, 19) & 0xFFFFFF, Bar.rgb() & 0xFFFFFF);
  EXPECT_EQ(bar.pixel(86, 19) & 0xFFFFFF, Bar.rgb() & 0xFFFFFF);
  EXPECT_EQ(bar.pixel(87, 19) & 0xFFFFFF, Background.rgb() & 0xFFFFFF);
  // The panel text stands over the bar: its pixels are the bar inverted, never plain white.
  EXPECT_GT(CountColour(bar, QRect(0, 1, 60, 14), barInverted), 5);
  EXPECT_EQ(CountColour(bar, QRect(0, 0, 350, 20), 0xFFFFFF), 0);
  // The progress text ends 30 pixels before the panel's right edge, over the background.
  EXPECT_GT(CountColour(bar, QRect(200, 1, 120, 14), backInverted), 5);
  EXPECT_EQ(CountColour(bar, QRect(320, 0, 30, 20), backInverted), 0);
  // Nothing outside the panel changes.
  EXPECT_EQ(CountColour(bar, QRect(350, 0, 150, 20), Background.rgb()), 150 * 20);

  // Without a known total there is no bar and no figures.
  const QImage idle = DrawnBar("", 5, 0);
  EXPECT_EQ(CountColour(idle, QRect(0, 0, 350, 20), Background.rgb()), 350 * 20);
}

// The panel is a lowered frame (darker top and left, lighter bottom and right edges), so an
// empty status line still reads as one, and the text stays inside the frame.
TEST(StatusPanel, PanelIsALoweredFrameAroundItsText) {
  TStatusBar status;
  status.resize(550, StatusBarHeight);
  status.SetText("[12:00:00] Hello");
  const QImage shot = status.grab().toImage();
  const QPalette& pal = status.palette();
  const QRgb mid = pal.color(QPalette::Mid).rgb(), light = pal.color(QPalette::Light).rgb();
  const QRgb back = pal.color(QPalette::Window).rgb();
  ASSERT_EQ(shot.height(), StatusBarHeight);
  EXPECT_EQ(CountColour(shot, QRect(0, 1, StatusPanelWidth, 1), mid), StatusPanelWidth);
  EXPECT_EQ(CountColour(shot, QRect(0, 1, 1, 19), mid), 19);
  EXPECT_EQ(CountColour(shot, QRect(1, 19, StatusPanelWidth - 1, 1), light), StatusPanelWidth - 1);
  EXPECT_EQ(CountColour(shot, QRect(StatusPanelWidth - 1, 2, 1, 18), light), 18);
  EXPECT_GT(CountColour(shot, QRect(1, 2, 100, 17), back ^ 0xFFFFFF), 5);
  EXPECT_EQ(CountColour(shot, QRect(StatusPanelWidth, 0, 550 - StatusPanelWidth, 20), back), (550 - StatusPanelWidth) * 20);
}

// A finished transfer leaves no figures under the status text that follows it.
TEST(StatusPanel, FiguresShowOnlyWhileTheTransferRuns) {
  tTransferProgress progress;
  progress.total = 3072;
  progress.done = 3072;
  progress.transferring = true;
  EXPECT_EQ(ShownProgress(progress), std::make_pair(int64_t{3072}, int64_t{3072}));
  progress.transferring = false;
  EXPECT_EQ(ShownProgress(progress), std::make_pair(int64_t{0}, int64_t{0}));
}

TEST(StatusPanel, ProgressFromAnotherThreadRepaintsAtMostTenTimesASecond) {
  TStatusBar status;
  status.resize(500, StatusBarHeight);
  status.show();
  ASSERT_TRUE(kvtest::WaitExposed(&status));
  QCoreApplication::processEvents();
  const int before = status.Repaints();
  std::atomic<bool> stop{false};
  std::thread transfer([&] {
    for (int64_t i = 0; !stop; ++i) {
      TransferProgress().total = 1 << 20;
      TransferProgress().done = i % (1 << 20);
      status.ProgressChanged();
    }
  });
  kvtest::Wait(500);
  stop = true;
  transfer.join();
  kvtest::Wait(150);
  const int repaints = status.Repaints() - before;
  EXPECT_GE(repaints, 2);
  EXPECT_LE(repaints, 8);
  TransferProgress().total = 0;
}

}  // namespace
}  // namespace kv
