// The menu icons beside the program: every icon number of the menu table has its picture, each
// picture is a 16 x 16 drawing that stands out on a light menu, and no two numbers share one.
#include <gtest/gtest.h>

#include <QColor>
#include <QDir>
#include <QImage>
#include <cmath>
#include <iterator>
#include <map>
#include <set>
#include <string>

#include "gui/MainMenus.h"

namespace kv {
namespace {

std::string MenuIconPath(const char* folder, int number) {
  return std::string(folder).append("/menu").append(std::to_string(number)).append(".png");
}

// Contrast ratio of a colour against the light grey of a usual menu (relative luminances).
double ContrastOnMenu(const QColor& c) {
  const auto linear = [](double v) {
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  const double lum =
      0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
  const double menu = linear(0xf0 / 255.0);
  return (menu + 0.05) / (lum + 0.05);
}

std::set<int> UsedIconNumbers() {
  std::set<int> numbers;
  for (const tMenuEntry& e : MenuEntries())
    if (e.icon >= 0) numbers.insert(e.icon);
  return numbers;
}

TEST(MenuIconsTest, EveryIconNumberHasALegibleSixteenPixelPicture) {
  const std::set<int> numbers = UsedIconNumbers();
  ASSERT_FALSE(numbers.empty());
  std::map<int, QImage> images;
  for (int n : numbers) {
    SCOPED_TRACE("menu" + std::to_string(n) + ".png");
    const QImage image(QString::fromStdString(MenuIconPath(KV_BIN_DIR, n)));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(16, 16));
    ASSERT_TRUE(image.hasAlphaChannel());
    // Transparent around the drawing, and enough pixels of clear contrast to read on a light menu.
    int clear = 0, contrasting = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        const QColor c = image.pixelColor(x, y);
        if (c.alpha() == 0) ++clear;
        else if (c.alpha() == 255 && ContrastOnMenu(c) >= 3.0) ++contrasting;
      }
    EXPECT_GT(clear, 0);
    EXPECT_GE(contrasting, 24);
    images[n] = image.convertToFormat(QImage::Format_RGBA8888);
  }
  // A number drawn as a copy of another's picture would show two entries as the same thing.
  for (auto a = images.begin(); a != images.end(); ++a)
    for (auto b = std::next(a); b != images.end(); ++b)
      EXPECT_NE(a->second, b->second) << "menu" << a->first << " and menu" << b->first;
}

TEST(MenuIconsTest, NoMenuPictureWithoutAnEntry) {
  // A renumbered entry must not leave its old picture behind in the data folder.
  const std::set<int> numbers = UsedIconNumbers();
  const QStringList files = QDir(KV_SOURCE_DIR "/data").entryList({"menu*.png"}, QDir::Files);
  EXPECT_EQ(static_cast<size_t>(files.size()), numbers.size());
  for (const QString& file : files) {
    bool ok = false;
    const int n = file.mid(4, file.size() - 8).toInt(&ok);
    EXPECT_TRUE(ok && numbers.count(n)) << file.toStdString();
  }
}

}  // namespace
}  // namespace kv
