#include "displays/Placeholders.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "DisplayState.h"
#include "platform/System.h"

namespace kv {
namespace {

using Placeholders = DisplayState;

TEST_F(Placeholders, ChannelsFillByTheirOwnNumberAndKeepPlaceholdersWithoutValue) {
  const auto t = Texts();
  Readings.T[0] = 4550;
  Readings.T[9] = 3000;
  Readings.F[0] = -155;
  Readings.F[1] = 0;
  Readings.F[9] = 2400;
  Readings.V[3] = 1234;
  Readings.CPU[1] = 5050;
  EXPECT_EQ(FillTemplate(Display(), "%t1%|%T10%|%t3%", 0), "45.5 °C|30 °C|%t3%");
  EXPECT_EQ(FillTemplate(Display(), "%f1%|%f2%|%f10%|%f3%", 0), "1.6 " + t->LH + "|0 " + t->RPM + "|2400 " + t->RPM + "|%f3%");
  EXPECT_EQ(FillTemplate(Display(), "%v4% %v5%", 0), "12.34 " + t->Volt + " %v5%");
  EXPECT_EQ(FillTemplate(Display(), "%cpu2% %cpu1%", 0), "50.5 % %cpu1%");
  EXPECT_EQ(FillTemplate(Display(), "CPU %t3%", 0), "CPU %t3%");
  EXPECT_EQ(FillTemplate(Display(), "%freq% MHz", 0), "??? MHz");
  Readings.Freq = 2394565;
  EXPECT_EQ(FillTemplate(Display(), "%FREQ% MHz %Freq%", 0), "2394.57 MHz 2394.57");

  tGpu gpu;
  gpu.Name = "Fake GeForce";
  gpu.Temp = 6650;
  gpu.Load = 8750;
  gpu.Power = 120500;
  gpu.Fan = 40;
  gpu.FanPercent = true;
  gpu.CoreClock = 1800;
  Current.Gpus = {tGpu{}, gpu};
  EXPECT_EQ(FillTemplate(Display(), "%gpu2name%: %GPU2temp% %gpu2load% %gpu2power% %gpu2fan% %gpu2clock% %gpu2mem%", 0),
            "Fake GeForce: 66.5 °C 87.5 % 120.5 W 40 % 1800 MHz %gpu2mem%");
  EXPECT_EQ(FillTemplate(Display(), "%gpu1temp% %gpu3load%", 0), "%gpu1temp% %gpu3load%");
  EXPECT_EQ(FillTemplate(Display(), "%cpupower%", 0), "???");
  Current.CPUPower = 12345;
  EXPECT_EQ(FillTemplate(Display(), "CPU %CpuPower%", 0), "CPU 12.3 W");
}

TEST_F(Placeholders, SystemFiguresAndDates) {
  MemTotal = 2048;
  Readings.Cache = 1537;
  SetUpSecs(Current, 3 * 86400 + 4 * 3600 + 5 * 60 + 6);
  Settings.ReadTemp = 20000;
  char host[256] = {};
  ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
  EXPECT_EQ(FillTemplate(Display(), "%mem%/%MemCache%", 0), FormatKiB(2048) + "/" + FormatKiB(1537));
  EXPECT_EQ(FillTemplate(Display(), "%intread% %LightTime%", 0), "0.3 " + Texts()->Minutes + " 10 " + Texts()->Minutes);
  EXPECT_EQ(FillTemplate(Display(), "%uptime%", 0), "3 d 04:05:06 h");
  EXPECT_EQ(FillTemplate(Display(), "%userid%@%hostid%", 0), UserName() + "@" + host);

  Settings.TimeInUTC = true;
  const TDateTime t = EncodeDateTime({2024, 3, 5, 7, 8, 9, 0});
  EXPECT_EQ(FillTemplate(Display(), "%date%-%TIME%", t), "20240305-070809");
  EXPECT_EQ(FillTemplate(Display(), "%date%-%time%", 0), "18991230-000000");
}

TEST_F(Placeholders, EnvironmentSearchIsCaseSensitiveAndBounded) {
  ::setenv("KV_TEST_A", "alpha", 1);
  ::setenv("KV_TEST_LOOP", "<%envKV_TEST_LOOP%>", 1);
  ::unsetenv("KV_TEST_UNSET");
  EXPECT_EQ(FillTemplate(Display(), "%envKV_TEST_A% %ENVKV_TEST_A%", 0), "alpha alpha");
  EXPECT_EQ(FillTemplate(Display(), "%ENVKV_TEST_A%", 0), "%ENVKV_TEST_A%");
  EXPECT_EQ(FillTemplate(Display(), "[%envKV_TEST_UNSET%]", 0), "[]");
  EXPECT_EQ(FillTemplate(Display(), "%envKV_TEST_A% %env", 0), "alpha %env");
  // The text up to the next "%" is the name, whatever it holds.
  EXPECT_EQ(FillTemplate(Display(), "%envKV_TEST_A %envX", 0), "envX");

  const std::string loop = FillTemplate(Display(), "%envKV_TEST_LOOP%", 0);
  EXPECT_EQ(std::count(loop.begin(), loop.end(), '<'), EnvironmentRounds);
  ::setenv("KV_TEST_LOOP", "%envKV_TEST_LOOP%%envKV_TEST_LOOP%0123456789abcdef", 1);
  EXPECT_LT(FillTemplate(Display(), "%envKV_TEST_LOOP%", 0).size(), 1024u * 1024u);  // doubling is cut off
}

TEST_F(Placeholders, OneRoundOfABigValueStaysWithinTheBound) {
  // A 120 KB variable named 64 times in one line: one round alone would make 7.5 MB.
  ::setenv("KV_TEST_BIG", std::string(120 * 1024, 'x').c_str(), 1);
  std::string line;
  for (int i = 0; i < 64; ++i) line += "%envKV_TEST_BIG%";
  const std::string filled = FillTemplate(Display(), line, 0);
  EXPECT_LE(filled.size(), EnvironmentTextLimit);
  // A multi-byte character is never cut in half at the bound.
  EXPECT_EQ(ReplaceAllNoCase("xxx\xC3\xA4", "q", "", 4), "xxx");
  ::unsetenv("KV_TEST_BIG");
}

TEST_F(Placeholders, LightTemplateAddsAddressesAndTheUptimeRecord) {
  std::string joined;
  int n = 0;
  for (; n < 10 && !LocalAddressText(n).empty(); ++n) joined += (n ? ", " : "") + LocalAddressText(n);
  EXPECT_EQ(LocalAddressText(-1), joined);
  EXPECT_EQ(FillLightTemplate(Display(), "%IP%", 0), joined);
  EXPECT_EQ(FillLightTemplate(Display(), "[%ip9%]", 0), "[" + LocalAddressText(9) + "]");
  EXPECT_EQ(LocalAddressText(n), "");

  Settings.UpRecDays = 12;
  Settings.UpRecHours = 1;
  Settings.UpRecMins = 2;
  Settings.UpRecSecs = 3;
  Settings.ReadUpTime = true;
  EXPECT_EQ(FillLightTemplate(Display(), "%uptimerecord%", 0), "12 d 01:02:03 h");
  EXPECT_EQ(FillTemplate(Display(), "%uptimerecord%", 0), "%uptimerecord%");  // only light lines know it
  Settings.ReadUpTime = false;
  EXPECT_EQ(FillLightTemplate(Display(), "%uptimerecord%", 0), "%uptimerecord%");
}

}  // namespace
}  // namespace kv
