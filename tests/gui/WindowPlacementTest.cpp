// Edge snapping and the start position kept on the desktop.
#include <gtest/gtest.h>

#include "gui/WindowPlacement.h"
#include "settings/Settings.h"

namespace kv {
namespace {

const QRect Area(0, 0, 1280, 1000);  // a work area above a 24-pixel panel

TEST(EdgeSnapping, SnapsAtNinePixelsButNotAtTen) {
  EXPECT_EQ(SnapToWorkArea({9, 300, 560, 200}, Area).topLeft(), QPoint(0, 300));
  EXPECT_EQ(SnapToWorkArea({10, 300, 560, 200}, Area).topLeft(), QPoint(10, 300));
  EXPECT_EQ(SnapToWorkArea({-9, 300, 560, 200}, Area).topLeft(), QPoint(0, 300));
  EXPECT_EQ(SnapToWorkArea({300, 9, 560, 200}, Area).topLeft(), QPoint(300, 0));
  EXPECT_EQ(SnapToWorkArea({300, 10, 560, 200}, Area).topLeft(), QPoint(300, 10));
  // Right and bottom edges: the window's far side 9 pixels from the area's edge.
  EXPECT_EQ(SnapToWorkArea({1280 - 560 - 9, 300, 560, 200}, Area).topLeft(), QPoint(720, 300));
  EXPECT_EQ(SnapToWorkArea({1280 - 560 - 10, 300, 560, 200}, Area).topLeft(), QPoint(710, 300));
  EXPECT_EQ(SnapToWorkArea({300, 1000 - 200 - 9, 560, 200}, Area).topLeft(), QPoint(300, 800));
  EXPECT_EQ(SnapToWorkArea({300, 1000 - 200 - 10, 560, 200}, Area).topLeft(), QPoint(300, 790));
  // An area that does not start at 0 (a panel on the left).
  EXPECT_EQ(SnapToWorkArea({48 + 9, 300, 560, 200}, QRect(48, 0, 1232, 1024)).topLeft(), QPoint(48, 300));
}

TEST(EdgeSnapping, AWindowTouchingBothSidesIsStretchedOverTheArea) {
  const QRect narrow(0, 0, 570, 400);
  EXPECT_EQ(SnapToWorkArea({5, 100, 565, 200}, narrow), QRect(0, 100, 570, 200));
  EXPECT_EQ(SnapToWorkArea({100, 4, 300, 395}, narrow), QRect(100, 0, 300, 400));
  // Ten pixels short on the far side: only the near edge snaps.
  EXPECT_EQ(SnapToWorkArea({5, 100, 560, 200}, narrow), QRect(0, 100, 560, 200));
}

TEST(StartPosition, CentresWithoutAStoredPlaceAndStaysOnTheDesktop) {
  const QSize window(566, 400);
  const QRect desktop(0, 0, 1280, 1024);
  EXPECT_EQ(StartPosition(PositionUnset, PositionUnset, window, Area, desktop), QPoint(357, 300));
  // Far outside on every side.
  EXPECT_EQ(StartPosition(-5000, -5000, window, Area, desktop), QPoint(0, 0));
  // Below the bottom: its lower edge touches the desktop's; Left is not touched by that.
  EXPECT_EQ(StartPosition(100, 5000, window, Area, desktop), QPoint(100, 624));
  EXPECT_EQ(StartPosition(5000, 100, window, Area, desktop), QPoint(714, 100));
  // A second monitor left of the first.
  EXPECT_EQ(StartPosition(-1500, 10, window, Area, QRect(-1920, 0, 3200, 1080)), QPoint(-1500, 10));
}

}  // namespace
}  // namespace kv
