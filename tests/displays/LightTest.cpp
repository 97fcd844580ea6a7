#include "displays/Light.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>

#include "DisplayState.h"
#include "displays/Canvas.h"

namespace kv {
namespace {

constexpr tColour Ink = MakeColour(200, 0, 0);

class Light : public DisplayState {
 protected:
  void SetUp() override {
    DisplayState::SetUp();
    Settings.cBack = MakeColour(224, 224, 224);
    Settings.cBorder = MakeColour(0, 0, 160);
    Settings.cBorder2 = MakeColour(0, 160, 0);
  }
  QImage Draw() {
    QImage image;
    DrawLight(image, Display());
    return image;
  }
  static tColour At(const QImage& image, int x, int y) { return FromQRgb(image.pixel(x, y)); }
  void ShowTemperature(int channel, int hundredths, tColour colour = Ink) {
    Settings.TCfg[channel].Vis = 1;
    Settings.TCfg[channel].Colour = colour;
    Settings.TCfg[channel].Name = "";
    Readings.T[channel] = static_cast<int16_t>(hundredths);
  }
};

TEST_F(Light, EmptyFullLightIsTitleFooterAndFrame) {
  QImage image = Draw();
  EXPECT_EQ(image.width(), 110);
  ASSERT_EQ(image.height(), 26);
  const int b = image.height() - 1;
  // The top and left edges in cBorder2, the right and bottom ones in cBorder.
  EXPECT_EQ(At(image, 0, 0), Settings.cBorder2);
  EXPECT_EQ(At(image, 108, 0), Settings.cBorder2);
  EXPECT_EQ(At(image, 0, 13), Settings.cBorder2);
  EXPECT_EQ(At(image, 109, 0), Settings.cBorder);
  EXPECT_EQ(At(image, 109, 13), Settings.cBorder);
  EXPECT_EQ(At(image, 0, b), Settings.cBorder);
  EXPECT_EQ(At(image, 60, b), Settings.cBorder);

  Settings.ReadUpTime = true;
  EXPECT_EQ(Draw().height(), 35);
}

TEST_F(Light, TenthDigitIsTheReadingsTenth) {
  // One row at y = 17: the small digit sits in x 96..100, y 26..35; the point at (95, 34).
  struct tTenth {
    int hundredths;
    bool point;
    bool upperLeft, upperRight, lowerLeft, lowerRight, middle;
  };
  const tTenth cases[] = {
      {4500, false, false, false, false, false, false},
      {4550, true, true, false, false, true, true},   // 5
      {4530, true, false, true, false, true, true},   // 3, although the double holds 45.2999...
      {4580, true, true, true, true, true, true},     // 8, although the double holds 45.7999...
      {4539, true, false, true, false, true, true},   // 3: the hundredth is cut, not rounded
      {-50, true, true, false, false, true, true},    // -0.5: 0 and a small 5
  };
  for (const tTenth& c : cases) {
    ShowTemperature(0, c.hundredths);
    const QImage image = Draw();
    const auto lit = [&](int x, int y) { return At(image, x, y) == Ink; };
    SCOPED_TRACE(c.hundredths);
    EXPECT_EQ(lit(95, 34), c.point);
    EXPECT_EQ(lit(96, 28), c.upperLeft);
    EXPECT_EQ(lit(100, 28), c.upperRight);
    EXPECT_EQ(lit(96, 32), c.lowerLeft);
    EXPECT_EQ(lit(100, 32), c.lowerRight);
    EXPECT_EQ(lit(98, 30), c.middle);
    EXPECT_EQ(image.height(), 26 + 21 + 4);
  }
}

TEST_F(Light, MinusBarOnlyWhenTheWholePartIsNegative) {
  // The whole part's single digit ends at x 94; the bar lies left of it at x 74..80, y 24..26.
  for (const auto& [hundredths, bar] : {std::pair{-50, false}, std::pair{-550, true}, std::pair{550, false}}) {
    ShowTemperature(0, hundredths);
    const QImage image = Draw();
    EXPECT_EQ(At(image, 77, 25) == Ink, bar) << hundredths;
  }
}

TEST_F(Light, MiniLightDrawsAtMostFourTemperatureRows) {
  Settings.MiniLight = true;
  for (int i = 0; i < 10; ++i) ShowTemperature(i, 800, MakeColour(100 + 10 * i, 0, 0));
  for (const bool dateLine : {false, true}) {
    Settings.DisplayDateTime = dateLine;
    const QImage image = Draw();
    ASSERT_EQ(image.size(), QSize(80, 80));
    // Digit 8's upper right segment of each row: x 69, from the row's top + 1.
    const int first = dateLine ? 9 : 2;
    for (int row = 0; row < 5; ++row) {
      const int y = first + 13 * row + 2;
      const tColour expected = row < 4 ? Settings.TCfg[row].Colour : Settings.cBack;
      EXPECT_EQ(At(image, 69, y), expected) << "row " << row << (dateLine ? " with date" : "");
    }
    EXPECT_EQ(At(image, 0, 0), Settings.cBorder2);
    EXPECT_EQ(At(image, 78, 0), Settings.cBorder2);
    EXPECT_EQ(At(image, 0, 78), Settings.cBorder2);
    EXPECT_EQ(At(image, 79, 0), Settings.cBorder);
    EXPECT_EQ(At(image, 79, 79), Settings.cBorder);
    EXPECT_EQ(At(image, 0, 79), Settings.cBorder);
  }
}

TEST_F(Light, TemplateLinesAndBoincLists) {
  kvtest::WriteFile(dir.File("KVLight.txt"), "first\r\n\r\nthird %boincstats%\rfourth %BOINCcreditsUserTotal%\n");
  EXPECT_EQ(Draw().height(), 26 + 2 * 9 + 3);  // the BOINC lines draw nothing of their own
  BOINCTasks = {{"p", "r", "1:02 h", 0.5}, {"p", "r", "0:10 h", 0.25}};
  BOINCProjects = {{1e6, 2, 3, 4, "Einstein@Home"}};
  EXPECT_EQ(Draw().height(), 26 + 5 * 9 + 3);
  Settings.ReadSETI = false;
  EXPECT_EQ(Draw().height(), 26 + 2 * 9 + 3);

  kvtest::WriteFile(dir.File("KVLight.txt"), "");
  EXPECT_EQ(Draw().height(), 26 + 3);
}

TEST_F(Light, OversizedOrOddTemplatesDrawWhatFitsAndNeverStall) {
  std::string huge;
  for (int i = 0; i < 20000; ++i) huge += std::string(i % 7 == 0 ? 3000 : 40, static_cast<char>('A' + i % 26)) + "\n";
  huge += std::string(4096, '\0');
  kvtest::WriteFile(dir.File("KVLight.txt"), huge);
  const auto start = std::chrono::steady_clock::now();
  const QImage image = Draw();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_LE(image.height(), 500);
  EXPECT_GT(image.height(), 450);
  EXPECT_EQ(At(image, 0, image.height() - 1), Settings.cBorder);  // the frame closes the picture

  // A pipe in the template's place would block a plain open.
  std::remove(dir.File("KVLight.txt").c_str());
  ASSERT_EQ(::mkfifo(dir.File("KVLight.txt").c_str(), 0600), 0);
  EXPECT_THROW(Draw(), std::runtime_error);
}

}  // namespace
}  // namespace kv
