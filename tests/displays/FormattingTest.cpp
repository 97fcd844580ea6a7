#include "displays/Formatting.h"

#include <gtest/gtest.h>

#include <cmath>

#include "DisplayState.h"

namespace kv {
namespace {

using Formatting = DisplayState;

TEST_F(Formatting, PatternRoundsHalfAwayFromZeroAndDropsTrailingZeros) {
  const struct {
    double value;
    int decimals;
    const char* text;
  } cases[] = {
      {45.0, 1, "45"},        {45.25, 1, "45.3"},   {-45.25, 1, "-45.3"},  {0.15, 1, "0.2"},
      {2394.565, 2, "2394.57"}, {9.96, 1, "10"},    {99.95, 1, "100"},     {0.06, 1, "0.1"},
      {0.04, 1, "0"},         {-0.04, 1, "0"},      {1e-9, 2, "0"},        {123456789.0, 0, "123456789"},
      {1.5, 0, "2"},          {2.5, 0, "3"},        {-2.5, 0, "-3"},       {0.000123, 3, "0"},
      {1.10, 3, "1.1"},       {1234.5678, 3, "1234.568"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatPattern(c.value, c.decimals), c.text) << c.value;
  EXPECT_EQ(FormatFixed(1, 2), "1.00");
  EXPECT_EQ(FormatFixed(0.0001, 1), "0.0");
  EXPECT_EQ(FormatFixed(0.96, 1), "1.0");

  QLocale::setDefault(QLocale(QLocale::German));
  EXPECT_EQ(FormatPattern(1.25, 2), "1,25");
  EXPECT_EQ(FormatFixed(3, 1), "3,0");
}

TEST_F(Formatting, SizesAndRatesChooseTheirUnitAtTheThresholds) {
  const auto t = Texts();
  EXPECT_EQ(FormatKiB(1536), "1536 " + t->KB);
  EXPECT_EQ(FormatKiB(1537), "1.5 " + t->MB);
  EXPECT_EQ(FormatKiB(3.5 * 1024 * 1024), "3.5 " + t->GB);
  EXPECT_EQ(FormatKiB(5.0 * 1024 * 1024 * 1024 * 1024), "5120 " + t->TB);  // no unit beyond TB

  EXPECT_EQ(FormatBytes(1024), "1024 B");
  EXPECT_EQ(FormatBytes(1025), "1 " + t->KB);
  EXPECT_EQ(FormatBytes(1.25 * 1024 * 1024 * 1024 * 1024), "1.25 " + t->TB);

  EXPECT_EQ(FormatRate(799, Settings.BitDisplay), "799 " + t->KBS);
  EXPECT_EQ(FormatRate(5000, Settings.BitDisplay), "4.9 " + t->MBS);
  EXPECT_EQ(FormatRate(10240, Settings.BitDisplay), "10 " + t->MBS);
  Settings.BitDisplay = true;
  EXPECT_EQ(FormatRate(99.9, Settings.BitDisplay), "799 " + t->kbps);
  EXPECT_EQ(FormatRate(100, Settings.BitDisplay), "0.8 " + t->Mbps);
}

TEST_F(Formatting, SiCountsAndTemperatures) {
  EXPECT_EQ(FormatSiCount(0, 1234567), "1235k");
  EXPECT_EQ(FormatSiCount(0, 1600000), "2M");
  EXPECT_EQ(FormatSiCount(0, 1500), "1500");
  EXPECT_EQ(FormatSiCount(2, 2e12), "2.00T");
  EXPECT_EQ(FormatSiCount(0, 1e16), "10");  // five steps: no letter
  EXPECT_FALSE(FormatSiCount(0, INFINITY).empty());  // ends instead of dividing forever

  EXPECT_EQ(FormatTemperature(4550, Settings.Celsius), "45.5 °C");
  EXPECT_EQ(FormatTemperature(-50, Settings.Celsius), "-0.5 °C");
  Settings.Celsius = false;
  EXPECT_DOUBLE_EQ(ToDisplayTemperature(4550, Settings.Celsius), 113.9);
  EXPECT_EQ(FormatTemperature(4550, Settings.Celsius), "113.9 °F");
}

TEST_F(Formatting, LanguageTextsAreNeverPrintfFormats) {
  EXPECT_EQ(FormatWithText("%s saved", "a%sb"), "a%sb saved");
  EXPECT_EQ(FormatWithText("%d %n %s %s", "x"), "%d %n x %s");
  EXPECT_EQ(FormatWithText("no argument", "x"), "no argument");
  EXPECT_EQ(UptimeText(3, 4, 5, 6), "3 d 04:05:06 h");
}

}  // namespace
}  // namespace kv
