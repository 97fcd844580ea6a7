#include <cstdio>

#include "AlertFixture.h"
#include "core/Process.h"
#include "settings/IniFile.h"

namespace {

using namespace kv;
using kvtest::AlertTest;

TEST_F(AlertTest, HighLimitStartsAfterConsecutivePassesHoversWithoutFlappingAndEnds) {
  Settings.TCfg[0].Name = "CPU";
  Settings.TCfg[0].AlertHigh = 8000;
  Settings.AlertPasses = 3;
  Settings.marginT = 200;

  for (int16_t v : std::initializer_list<int16_t>{8100, 8100, 7900, 8100, 8100}) PassT1(v);  // a dip restarts the count
  EXPECT_TRUE(events.empty());
  PassT1(NoValue16);  // a pass without a reading neither counts nor restarts the count
  EXPECT_TRUE(events.empty());
  PassT1(8150);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_TRUE(events[0].started);
  EXPECT_EQ(events[0].alert.rule.id, "highT1");
  EXPECT_EQ(events[0].summary, "CPU above 80 °C");
  EXPECT_EQ(events[0].body, "now 81.5 °C");
  ASSERT_EQ(alerts.Active().size(), 1u);

  // Around the line and inside the margin: still the one alert.
  for (int16_t v : std::initializer_list<int16_t>{7999, 8001, 7850, NoValue16, NoValue16, 7801}) PassT1(v);
  EXPECT_EQ(events.size(), 1u);
  EXPECT_EQ(alerts.Active().size(), 1u);

  PassT1(7800);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_FALSE(events[1].started);
  EXPECT_EQ(events[1].line, "Alert ended: CPU back to normal (now 78 °C, limit 80 °C)");
  EXPECT_TRUE(alerts.Active().empty());
  PassT1(8100);
  PassT1(8100);
  EXPECT_EQ(events.size(), 2u);  // the count starts afresh after an end
}

TEST_F(AlertTest, NoValueMarkersAndFlowsNeverRaiseAHighOrLowAlert) {
  Settings.AlertPasses = 1;
  Settings.TCfg[0].AlertHigh = 5000;  // 32767 lies above it
  Settings.VCfg[2].AlertLow = 1100;
  Settings.FCfg[1].AlertLow = 500;    // a flow of -300.00 l/h is not a speed below 500 RPM
  Readings.V[2] = NoValue16;
  Readings.F[1] = -30000;
  for (int i = 0; i < 5; ++i) PassT1(NoValue16);
  EXPECT_TRUE(events.empty());

  Readings.V[2] = 1050;
  Readings.F[1] = 400;
  PassT1(NoValue16);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].alert.rule.id, "lowV3");
  EXPECT_EQ(events[0].summary, "V3 below 11 V");
  EXPECT_EQ(events[1].summary, "F2 below 500 RPM");
}

TEST_F(AlertTest, FahrenheitLimitsAreEnteredAndShownInFahrenheit) {
  Settings.Celsius = false;
  EXPECT_EQ(LimitFromUser(tAlertQuantity::Temperature, 176, Settings.Celsius), 8000);
  EXPECT_EQ(LimitFromUser(tAlertQuantity::Temperature, 32, Settings.Celsius), 0);
  EXPECT_DOUBLE_EQ(LimitToUser(tAlertQuantity::Temperature, 8000, Settings.Celsius), 176);
  EXPECT_EQ(MarginFromUser(tAlertQuantity::Temperature, 3.6, Settings.Celsius), 200);  // a difference: no offset
  EXPECT_DOUBLE_EQ(MarginToUser(tAlertQuantity::Temperature, 200, Settings.Celsius), 3.6);
  EXPECT_EQ(LimitFromUser(tAlertQuantity::Voltage, 11.4, Settings.Celsius), 1140);
  EXPECT_EQ(LimitFromUser(tAlertQuantity::DiskFree, 10, Settings.Celsius), 10485760);
  EXPECT_EQ(LimitFromUser(tAlertQuantity::Fan, 1200, Settings.Celsius), 1200);

  Settings.TCfg[0].AlertHigh = LimitFromUser(tAlertQuantity::Temperature, 176, Settings.Celsius);
  Settings.marginT = MarginFromUser(tAlertQuantity::Temperature, 3.6, Settings.Celsius);
  Settings.AlertPasses = 1;
  PassT1(8050);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].summary, "T1 above 176 °F");
  EXPECT_EQ(events[0].body, "now 176.9 °F");
  PassT1(7850);  // 173.3 °F: inside the limit, not yet by the margin
  PassT1(7800);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].body, "now 172.4 °F, limit 176 °F");
}

TEST_F(AlertTest, DiskSlotAlertFromTheExistingKeysAndAFakeMountTree) {
  kvtest::MakeFolder(Root(), "data");
  Put("proc/self/mountinfo",
      "29 26 8:3 / /data rw - ext4 /dev/sda3 rw\n"
      "30 26 8:4 / /gone rw - ext4 /dev/sda4 rw\n");
  kvtest::TempDir settings;
  Process.SettingsDir = settings.Path();
  // Slot 1 wants more free space than any test machine has; slot 2 names a mount point that is
  // not there, so it has no reading; slot 3 has its alert off.
  kvtest::WriteFile(settings.File(ClientIniName),
                    "[Disk]\ndriveDisk1=/data Data disk\nenalDisk1=1\nalertDisk1=2147483647\n"
                    "driveDisk2=/gone\nenalDisk2=1\nalertDisk2=2147483647\n"
                    "driveDisk3=/data\nenalDisk3=0\nalertDisk3=2147483647\n"
                    "[Alerts]\nAlertPasses=2\n");
  ReadSettings(Settings, Process);
  Process.SettingsDir = "./";
  ASSERT_TRUE(Settings.DiskSlots[0].AlertOn);
  ASSERT_EQ(Settings.AlertPasses, 2);

  metrics::ReadDisks(Ctx);
  ASSERT_GT(Settings.DiskSlots[0].TotalKB, 0);
  ASSERT_LT(Settings.DiskSlots[0].FreeKB, Settings.DiskSlots[0].AlertKB);
  Evaluate();
  EXPECT_TRUE(events.empty());
  Evaluate();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].alert.rule.id, "alertDisk1");
  EXPECT_EQ(events[0].alert.rule.channel, "Data disk");
  EXPECT_EQ(events[0].alert.value, Settings.DiskSlots[0].FreeKB);
  EXPECT_EQ(events[0].summary.rfind("Data disk below 2048 GiB", 0), 0u) << events[0].summary;

  // The user lowers the limit: free space a margin above it ends the alert.
  Settings.DiskSlots[0].AlertKB = 1;
  Settings.marginDisk = static_cast<int32_t>(std::min<int64_t>(Settings.DiskSlots[0].FreeKB - 1, INT32_MAX));
  Evaluate();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_FALSE(events[1].started);
}

TEST_F(AlertTest, AStepFailingForSeveralPassesRaisesAnAlertWithItsError) {
  Settings.alertStep = 3;
  SilenceSources();
  bool failing = true;
  Row(tPassStep::Net).read = [&failing](tPassContext&) {
    if (failing) throw std::runtime_error("no interface table");
  };
  for (int pass = 1; pass <= 3; ++pass) {
    Pass.ReadAllValues(false);
    Evaluate();
    EXPECT_EQ(events.size(), pass == 3 ? 1u : 0u) << pass;
  }
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].alert.rule.id, "alertStep.Net");
  EXPECT_EQ(events[0].summary, "Step Net keeps failing");
  EXPECT_EQ(events[0].body, "failed 3 passes in a row: no interface table");
  EXPECT_EQ(ShownLimit(events[0].alert.rule), 3);

  // A step that is switched off does not run: it neither ends nor feeds the alert.
  Settings.ReadNet = false;
  Pass.ReadAllValues(false);
  Evaluate();
  EXPECT_EQ(events.size(), 1u);
  Settings.ReadNet = true;
  failing = false;
  Pass.ReadAllValues(false);
  Evaluate();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].summary, "Step Net works again");
}

TEST_F(AlertTest, LowBatteryOnlyWhileOffMains) {
  Settings.alertBat = 10;
  Settings.AlertPasses = 1;
  Readings.BatFull = 50000;
  Readings.BatCap = 4000;  // 8 %
  Readings.BatOnline = 1;
  Evaluate();
  EXPECT_TRUE(events.empty());
  Readings.BatOnline = 0;
  Evaluate();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].summary, "Battery below 10 %");
  EXPECT_EQ(events[0].body, "now 8 %");
  Readings.BatCap = NoValue32;
  Evaluate();
  EXPECT_EQ(events.size(), 1u);
  Readings.BatOnline = 1;  // plugged in: over, whatever the reading
  Evaluate();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_FALSE(events[1].started);
}

TEST_F(AlertTest, MetricsAndTipFollowTheActiveAlertsAndASwitchedOffRuleEndsItsAlert) {
  Settings.AlertPasses = 1;
  Settings.TCfg[0].Name = "CPU \"die\" \\1";
  Settings.TCfg[0].AlertHigh = 6000;
  Settings.FCfg[0].AlertLow = 800;
  Readings.F[0] = 500;
  PassT1(7000);
  ASSERT_EQ(alerts.Active().size(), 2u);
  const std::string m = AlertMetrics(alerts.Active(), Settings);
  EXPECT_NE(m.find("# TYPE kelvara_alerts gauge\nkelvara_alerts 2\n"), std::string::npos) << m;
  EXPECT_NE(m.find("kelvara_alert_active{rule=\"highT1\",channel=\"CPU \\\"die\\\" \\\\1\"} 1\n"),
            std::string::npos) << m;
  EXPECT_NE(m.find("kelvara_alert_active{rule=\"lowF1\",channel=\"F1\"} 1\n"), std::string::npos) << m;
  EXPECT_EQ(AlertTipLine(alerts.Active()), "Alerts: 2");

  Settings.FCfg[0].AlertLow = AlertOff;
  PassT1(7000);
  ASSERT_EQ(events.size(), 3u);
  EXPECT_FALSE(events[2].started);
  EXPECT_EQ(events[2].alert.rule.id, "lowF1");
  EXPECT_EQ(AlertTipLine(alerts.Active()), "Alert: CPU \"die\" \\1");
  Settings.TCfg[0].AlertHigh = AlertOff;
  PassT1(7000);
  EXPECT_EQ(AlertMetrics(alerts.Active(), Settings), "# HELP kelvara_alerts Alerts active now.\n# TYPE kelvara_alerts gauge\nkelvara_alerts 0\n");
  EXPECT_EQ(AlertTipLine(alerts.Active()), "");
}

// The limits a scraper's rules compare readings with, in the units of the readings' series:
// whole and fractional degrees and volts, RPM, bytes free and a charge ratio.
TEST_F(AlertTest, LimitsAreExportedInTheUnitsOfTheirSeries) {
  Settings.TCfg[0].AlertHigh = 8250;
  Settings.TCfg[1].AlertLow = -1025;
  Settings.VCfg[2].AlertHigh = 1210;
  Settings.FCfg[3].AlertLow = 300;
  Settings.DiskSlots[1].Drive = "/home Home";
  Settings.DiskSlots[1].AlertOn = true;
  Settings.DiskSlots[1].AlertKB = 2048;
  Settings.DiskSlots[2].AlertOn = true;  // no drive: no rule, no limit
  Settings.alertBat = 15;
  EXPECT_EQ(AlertLimitMetrics(Settings),
            "# HELP kelvara_alert_limit A configured alert limit, in the unit of the series it bounds (kind: what and "
            "which side).\n"
            "# TYPE kelvara_alert_limit gauge\n"
            "kelvara_alert_limit{kind=\"temperature_high\",channel=\"1\"} 82.5\n"
            "kelvara_alert_limit{kind=\"temperature_low\",channel=\"2\"} -10.25\n"
            "kelvara_alert_limit{kind=\"voltage_high\",channel=\"3\"} 12.1\n"
            "kelvara_alert_limit{kind=\"fan_low\",channel=\"4\"} 300\n"
            "kelvara_alert_limit{kind=\"disk_free_low\",slot=\"2\"} 2097152\n"
            "kelvara_alert_limit{kind=\"battery_low\"} 0.15\n");
  EXPECT_NE(AlertMetrics(alerts.Active(), Settings).find("kelvara_alert_limit{kind=\"battery_low\"} 0.15\n"), std::string::npos);
}

TEST_F(AlertTest, LimitKeysOutsideTheReadingsRangeAreOff) {
  kvtest::TempDir settings;
  Process.SettingsDir = settings.Path();
  kvtest::WriteFile(settings.File(ClientIniName),
                    "[Alerts]\nhighT1=8000\nlowT1=40000\nhighV10=-40000\nlowF3=32767\nhighF3=-5\n"
                    "AlertPasses=0\nalertBat=250\nAlertCommand=notify \"a b\"\n");
  ReadSettings(Settings, Process);
  EXPECT_EQ(Settings.TCfg[0].AlertHigh, 8000);
  EXPECT_EQ(Settings.TCfg[0].AlertLow, AlertOff);
  EXPECT_EQ(Settings.VCfg[9].AlertHigh, AlertOff);
  EXPECT_EQ(Settings.FCfg[2].AlertLow, AlertOff);
  EXPECT_EQ(Settings.FCfg[2].AlertHigh, -5);
  EXPECT_EQ(Settings.TCfg[1].AlertHigh, AlertOff);  // missing
  EXPECT_EQ(Settings.AlertPasses, 1);
  EXPECT_EQ(Settings.alertBat, 100);
  EXPECT_EQ(Settings.AlertCommand, "notify \"a b\"");

  WriteSettings(Settings, Process.SettingsDir, false);
  const IniFile client(settings.File(ClientIniName));
  EXPECT_EQ(client.ReadString("Alerts", "highT1", ""), "8000");
  EXPECT_EQ(client.ReadString("Alerts", "lowT1", ""), "32767");
  Process.SettingsDir = "./";
}

}  // namespace
