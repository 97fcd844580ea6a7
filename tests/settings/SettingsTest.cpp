#include <gtest/gtest.h>

#include <sys/stat.h>

#include "core/EventLog.h"
#include "core/Process.h"
#include "settings/Channels.h"
#include "settings/IniFile.h"
#include "settings/Scramble.h"
#include "settings/Settings.h"
#include "support/TestSupport.h"

namespace {

using namespace kv;

class SettingsFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    Process.SettingsDir = dir.Path();
    Process.AppDir = dir.Path();
  }
  void TearDown() override { SetDebugMode(false); }
  void Write(const char* name, const std::string& text) { kvtest::WriteFile(dir.File(name), text); }
  std::string Read(const char* name) { return kvtest::ReadFile(dir.File(name)); }
  IniFile Ini(const char* name) { return IniFile(dir.File(name)); }

  kvtest::TempDir dir;
  tProcessFacts Process;
  tSettings Settings;
};

TEST_F(SettingsFiles, EmptyFolderGivesDefaultsAndCreatesOnlyServerIni) {
  ReadSettings(Settings, Process);
  EXPECT_EQ(Settings.ReadTemp, 20000);
  EXPECT_EQ(Settings.LangFile, "English.lng");
  EXPECT_EQ(Settings.LocalPath, dir.Path());
  // No BOINC or aquasuite folder given: the pass looks for the running programs' folders.
  EXPECT_EQ(Settings.BOINCPath, "");
  EXPECT_EQ(Settings.AquaeroPath, "");
  EXPECT_EQ(Settings.TMaxStats, 5500);
  EXPECT_EQ(Settings.MemMax, 512 * 1024);
  EXPECT_EQ(Settings.FTPPath, "/");
  EXPECT_TRUE(Settings.AutostartHWM);
  EXPECT_EQ(Settings.TCfg[ChannelIndex(1)].Name, "T1");
  EXPECT_EQ(Settings.CPUCfg[ChannelIndex(4)].Name, "Core4");
  EXPECT_EQ(Settings.VCfg[ChannelIndex(3)].Colour, DefaultTempColours[2]);
  EXPECT_EQ(Settings.NetSlots[ChannelIndex(1)].ColourIn, DefaultTempColours[4]);
  EXPECT_EQ(Settings.DiskSlots[ChannelIndex(8)].Colour, 0xFF80FFu);
  // Without an OrderSpeedFan section T1 takes the tenth sensor.
  EXPECT_EQ(Settings.SFOrderT[ChannelIndex(1)], 9);
  EXPECT_EQ(Settings.SFOrderT[ChannelIndex(10)], 0);
  EXPECT_EQ(Settings.RivaOrderT[ChannelIndex(4)], "temperature");
  EXPECT_EQ(Settings.AquaeroOrderF[ChannelIndex(7)], "Flow");
  EXPECT_FALSE(kvtest::ReadFile(dir.File(ClientIniName)).size());
  EXPECT_FALSE(kvtest::ReadFile(dir.File(DisplayIniName)).size());
  struct stat st {};
  ASSERT_EQ(stat(dir.File(ServerIniName).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(SettingsFiles, ForeignKeysSurviveWriteAndCommentsVanish) {
  Write(ClientIniName,
        "; user's note\n[Misc]\nReadTemp=5000\nMyOwnKey=keep me\n[Foreign]\nb=2\na=1\n");
  ReadSettings(Settings, Process);
  WriteSettings(Settings, Process.SettingsDir, false);
  const std::string text = Read(ClientIniName);
  EXPECT_EQ(text.find("user's note"), std::string::npos);
  EXPECT_EQ(text.rfind("[Misc]\nReadTemp=5000\nMyOwnKey=keep me\n", 0), 0u) << text;
  EXPECT_NE(text.find("[Foreign]\nb=2\na=1\n\n"), std::string::npos);
  // Keys it never writes are not added.
  EXPECT_FALSE(Ini(ClientIniName).ValueExists("Misc", "AquaeroPath"));
  EXPECT_FALSE(Ini(ClientIniName).ValueExists("Fans", "divF1"));
  EXPECT_FALSE(Ini(DisplayIniName).ValueExists("Net", "NetMin"));
  EXPECT_FALSE(Ini(ServerIniName).ValueExists("FTP", "UseCCC"));
  EXPECT_EQ(Ini(ClientIniName).ReadInteger("Light", "LightTime", 0), 600000);
}

TEST_F(SettingsFiles, WrittenValuesReadBackUnchanged) {
  ReadSettings(Settings, Process);
  Settings.TMinStats = 2000;
  Settings.MemMin = 256 * 1024;
  Settings.MemMax = 4096 * 1024;
  Settings.SpanStats = 0.5;
  Settings.cBack = 0x123456;
  Settings.FTPPass = "s3cr\xE9t";
  Settings.upRecTime = 4000000000u;
  Settings.TCfg[ChannelIndex(2)].Name = "CPU";
  Settings.FCfg[ChannelIndex(1)].Colour = 0xABCDEF;
  SetDiskDrive(Settings.DiskSlots[ChannelIndex(1)], "/home Home");
  Settings.DiskSlots[ChannelIndex(1)].AlertOn = true;
  Settings.DiskSlots[ChannelIndex(1)].AlertKB = 2048;
  WriteSettings(Settings, Process.SettingsDir, false);
  const tSettings before = Settings;
  Settings = tSettings{};
  ReadSettings(Settings, Process);
  EXPECT_EQ(Settings.TMinStats, 2000);
  EXPECT_EQ(Settings.MemMin, 256 * 1024);
  EXPECT_EQ(Settings.MemMax, 4096 * 1024);
  EXPECT_DOUBLE_EQ(Settings.SpanStats, 0.5);
  EXPECT_EQ(Settings.cBack, 0x123456u);
  EXPECT_EQ(Settings.FTPPass, before.FTPPass);
  EXPECT_EQ(Settings.upRecTime, 4000000000u);
  EXPECT_EQ(Settings.UpRecDays, 4000000000u / 86400);
  EXPECT_EQ(Settings.TCfg[ChannelIndex(2)].Name, "CPU");
  EXPECT_EQ(Settings.FCfg[ChannelIndex(1)].Colour, 0xABCDEFu);
  EXPECT_EQ(Settings.DiskSlots[ChannelIndex(1)].Label, "Home");
  EXPECT_TRUE(Settings.DiskSlots[ChannelIndex(1)].AlertOn);
  EXPECT_EQ(Settings.DiskSlots[ChannelIndex(1)].AlertKB, 2048);
  EXPECT_EQ(Ini(ServerIniName).ReadString("FTP", "FTPPassCrypt", ""),
            ScramblePassword(before.FTPPass));
}

TEST_F(SettingsFiles, PlainPasswordsAreConvertedOnLoad) {
  Write(ServerIniName,
        "[FTP]\nHost=ftp.example.org\nPass=ftp pw\n[SMTP]\nSMTPPass=mail\n"
        "[Proxy]\nProxyPass=px\nHTTPProxyPassCrypt=" + ScramblePassword("http") + "\n"
        "[HTTP]\nHTTPUser=prometheus\nHTTPPass=scrape\n");
  ReadSettings(Settings, Process);
  EXPECT_EQ(Settings.FTPPass, "ftp pw");
  EXPECT_EQ(Settings.SMTPPass, "mail");
  EXPECT_EQ(Settings.FTPProxyPass, "px");
  EXPECT_EQ(Settings.HTTPProxyPass, "http");
  EXPECT_EQ(Settings.HTTPUser, "prometheus");
  EXPECT_EQ(Settings.HTTPPass, "scrape");
  const IniFile server = Ini(ServerIniName);
  EXPECT_FALSE(server.ValueExists("FTP", "Pass"));
  EXPECT_FALSE(server.ValueExists("HTTP", "HTTPPass"));
  EXPECT_EQ(server.ReadString("HTTP", "HTTPPassCrypt", ""), ScramblePassword("scrape"));
  EXPECT_FALSE(server.ValueExists("SMTP", "SMTPPass"));
  EXPECT_FALSE(server.ValueExists("Proxy", "ProxyPass"));
  EXPECT_EQ(server.ReadString("FTP", "FTPPassCrypt", ""), ScramblePassword("ftp pw"));
  EXPECT_EQ(server.ReadString("FTP", "Host", ""), "ftp.example.org");
  EXPECT_EQ(Read(ServerIniName).find("ftp pw"), std::string::npos);
  // The next load reads the scrambled form and gets the same password.
  ReadSettings(Settings, Process);
  EXPECT_EQ(Settings.FTPPass, "ftp pw");
}

TEST_F(SettingsFiles, ColoursWidthsAndFloatsAreCorrected) {
  Write(DisplayIniName,
        "[Misc]\ncBack=16777216\ncBorder=-5\ncInfo=$FF\nStatsWidth=100\nBannerWidth=70000\n"
        "Alpha=1\n[Stats]\n[Temperatures]\ncolT1=-1\ncolT2=255\nTMinStats=abc\n"
        "[Disk]\nDiskMax=100.5\nDiskMin=1,5\n");
  Write(ClientIniName, "[Stats]\nSpanStats=0.5\n[Banner]\nSpanBanner=3,5\n");
  ReadSettings(Settings, Process);
  EXPECT_EQ(Settings.cBack, 0xE0E0E0u);
  EXPECT_EQ(Settings.cBorder, 0xC0C0C0u);
  EXPECT_EQ(Settings.cInfo, 0xFFu);
  EXPECT_EQ(Settings.StatsWidth, 480);
  EXPECT_EQ(Settings.BannerWidth, 3072);  // 70000 mod 65536 = 4464, then limited
  EXPECT_DOUBLE_EQ(Settings.Alpha, 0.0);
  EXPECT_EQ(Settings.TCfg[ChannelIndex(1)].Colour, 0u);
  EXPECT_EQ(Settings.TCfg[ChannelIndex(2)].Colour, 255u);
  EXPECT_EQ(Settings.TMinStats, 1500);
  EXPECT_DOUBLE_EQ(Settings.DiskMax, 81920.0);
  EXPECT_DOUBLE_EQ(Settings.DiskMin, 1.5);
  EXPECT_DOUBLE_EQ(Settings.SpanStats, 2.0);
  EXPECT_DOUBLE_EQ(Settings.SpanBanner, 3.5);
}

TEST_F(SettingsFiles, MemoryRangeFallsBackWhenReversed) {
  Write(DisplayIniName, "[Memory]\nMemMin=600\nMemMax=512\n");
  ReadSettings(Settings, Process);
  EXPECT_EQ(Settings.MemMin, 0);
  EXPECT_EQ(Settings.MemMax, 512 * 1024);
  Write(DisplayIniName, "[Memory]\nMemMin=1024\nMemMax=2048\n");
  ReadSettings(Settings, Process);
  EXPECT_EQ(Settings.MemMin, 1024 * 1024);
  EXPECT_EQ(Settings.MemMax, 2048 * 1024);
}

TEST_F(SettingsFiles, OldNetHeightWinsOnceAndIsDeleted) {
  Write(DisplayIniName, "[Memory]\nNetHeight=33\n[Net]\nNetHeight=90\n");
  ReadSettings(Settings, Process);
  EXPECT_EQ(Settings.NetHeight, 33);
  WriteSettings(Settings, Process.SettingsDir, false);
  EXPECT_FALSE(Ini(DisplayIniName).ValueExists("Memory", "NetHeight"));
  EXPECT_EQ(Ini(DisplayIniName).ReadInteger("Net", "NetHeight", 0), 33);
}

TEST_F(SettingsFiles, SwitchesWinOverStoredValues) {
  Write(ClientIniName, "[Debug]\nDebug=0\nAcceptZeroValue=0\n");
  Process.DebugSwitch = true;
  Process.ZeroValueSwitch = true;
  ReadSettings(Settings, Process);
  EXPECT_TRUE(Settings.Debug);
  EXPECT_TRUE(DebugMode());
  EXPECT_TRUE(Settings.AcceptZeroValue);
  WriteSettings(Settings, Process.SettingsDir, false);
  EXPECT_EQ(Ini(ClientIniName).ReadString("Debug", "Debug", ""), "1");
}

TEST_F(SettingsFiles, DerivedAndDependentKeys) {
  Write(ClientIniName,
        "[Misc]\nAutostartSpeedFan=1\nSpeedFanParams=-x\nAquaeroPath=.\nBOINCPath=/var/boinc\n"
        "LangFile=Deutsch.lng\nupRecTime=90061\n[Light]\nLight=C:\\images\\my.png\n"
        "[PowerOff]\nEmergencySuspend=1\n");
  ReadSettings(Settings, Process);
  EXPECT_FALSE(Settings.AutostartHWM);
  EXPECT_EQ(Settings.SpeedFanParams, " -x");
  EXPECT_EQ(Settings.AquaeroPath, dir.Path());
  EXPECT_EQ(Settings.BOINCPath, "/var/boinc/");
  EXPECT_EQ(Settings.Light, "my.png");
  EXPECT_TRUE(Settings.GermanTexts);
  EXPECT_EQ(Settings.UpRecDays, 1);
  EXPECT_EQ(Settings.UpRecHours, 1);
  EXPECT_EQ(Settings.UpRecMins, 1);
  EXPECT_EQ(Settings.UpRecSecs, 1);
  EXPECT_FALSE(Settings.EmergencySuspend);  // suspending is not allowed here
  ReadSettings(Settings, Process, [] { return tPowerAllowed{false, true}; });
  EXPECT_TRUE(Settings.EmergencySuspend);
}

TEST_F(SettingsFiles, ChannelKeysFollowTheirRules) {
  Write(ClientIniName,
        "[OrderSpeedFan]\nT1=3\nT2=33\nF1=0\n[OrderMBM5190]\nT1=100\nT2=101\n"
        "[OrderAtiTool]\nT1=TempCore\n[Fans]\ndivF1=0\ndivF2=-10\ndivF3=x\n"
        "[Disk]\ndriveDisk1=C\nenalDisk1=1\nalertDisk1=5\ndriveDisk2=/data\nenalDisk2=1\n");
  ReadSettings(Settings, Process);
  EXPECT_EQ(Settings.SFOrderT[ChannelIndex(1)], 2);
  EXPECT_EQ(Settings.SFOrderT[ChannelIndex(2)], 8);  // out of range: default 10 - 2
  EXPECT_EQ(Settings.SFOrderF[ChannelIndex(1)], 9);
  EXPECT_EQ(Settings.MBMOrderT[ChannelIndex(1)], 99);
  EXPECT_EQ(Settings.MBMOrderT[ChannelIndex(2)], 1);
  EXPECT_EQ(Settings.AtiToolOrderT[ChannelIndex(1)], "tempcore");
  EXPECT_EQ(Settings.AtiToolOrderT[ChannelIndex(4)], "templocal");
  EXPECT_DOUBLE_EQ(Settings.FCfg[ChannelIndex(1)].Div, 1.0);
  EXPECT_DOUBLE_EQ(Settings.FCfg[ChannelIndex(2)].Div, -10.0);
  EXPECT_DOUBLE_EQ(Settings.FCfg[ChannelIndex(3)].Div, 1.0);
  EXPECT_EQ(Settings.DiskSlots[ChannelIndex(1)].Drive, "");
  EXPECT_FALSE(Settings.DiskSlots[ChannelIndex(1)].AlertOn);
  EXPECT_EQ(Settings.DiskSlots[ChannelIndex(1)].AlertKB, 10485760);
  EXPECT_TRUE(Settings.DiskSlots[ChannelIndex(2)].AlertOn);
}

TEST_F(SettingsFiles, BinaryFilesGiveDefaults) {
  std::string junk;
  for (int i = 0; i < 8192; ++i) junk.push_back(static_cast<char>((i * 7919) % 256));
  for (const char* name : {ClientIniName, DisplayIniName, ServerIniName}) Write(name, junk);
  ASSERT_NO_THROW(ReadSettings(Settings, Process));
  EXPECT_EQ(Settings.StatsWidth, 550);
  EXPECT_EQ(Settings.ReadTemp, 20000);
  EXPECT_EQ(Settings.Port, 21);
}

TEST_F(SettingsFiles, SaveWindowStateWritesOnlyTheRunTimeKeys) {
  Write(ClientIniName, "[Misc]\nShowLight=1\nReadTemp=1234\n");
  ReadSettings(Settings, Process);
  EXPECT_TRUE(Settings.ShowLight);
  Settings.ShowLight = false;
  Settings.ShowBanner = true;
  Settings.Left = 10;
  Settings.Top = -20;
  Settings.ReadTemp = 999;  // not a window-state value
  Settings.UpdateCheck = 12345;
  SaveWindowState(Settings, Process.SettingsDir);
  const IniFile ini = Ini(ClientIniName);
  EXPECT_FALSE(ini.ValueExists("Misc", "ShowLight"));
  EXPECT_TRUE(ini.ReadBool("Misc", "ShowBanner", false));
  EXPECT_EQ(ini.ReadInteger("Misc", "Left", 0), 10);
  EXPECT_EQ(ini.ReadInteger("Misc", "Top", 0), -20);
  EXPECT_EQ(ini.ReadInteger("Misc", "ReadTemp", 0), 1234);
  EXPECT_EQ(ini.ReadInteger("Misc", "UpdateCheck", 0), 12345);
}

TEST_F(SettingsFiles, UnwritableFolderLosesChangesQuietly) {
  Process.SettingsDir = dir.Path() + "missing/";
  ReadSettings(Settings, Process);
  ASSERT_NO_THROW(WriteSettings(Settings, Process.SettingsDir, false));
  ASSERT_NO_THROW(SaveWindowState(Settings, Process.SettingsDir));
}

}  // namespace
