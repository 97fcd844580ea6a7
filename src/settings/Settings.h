#pragma once
// The settings state: one field per key of KVClient.ini, KVDisplay.ini and KVServer.ini, named
// like the key, plus a few derived values. The main thread owns it; a worker thread takes a copy
// (tSettings is a plain value) when it is created and never points into it, because every
// ReadSettings replaces the fields.
#include <array>
#include <climits>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/Process.h"
#include "settings/Channels.h"
#include "settings/IniFile.h"

namespace kv {

constexpr const char* ClientIniName = "KVClient.ini";
constexpr const char* DisplayIniName = "KVDisplay.ini";
constexpr const char* ServerIniName = "KVServer.ini";
// The language file that is always loaded first and that every other one falls back to.
constexpr const char* EnglishLanguageFile = "English.lng";

// A key of a settings file, for the few places that touch one outside ReadSettings and
// WriteSettings (start-up checks the language file and stores -checkforupdate). The key table
// uses the same constants.
struct tIniKey {
  const char* section;
  const char* key;
};
constexpr tIniKey LangFileKey{"Misc", "LangFile"};
constexpr tIniKey CheckForUpdateKey{"Misc", "CheckForUpdate"};

// The project's release server: an https base address that the update check's request paths
// are appended to. None is published yet, so the default is empty and the check stays offline.
// The release information's date is compared with this version's release date.
constexpr const char* DefaultUpdateServer = "";
constexpr const char* ThisReleaseDate = "2011-04-15";

// A window position that no file and no window has given yet.
constexpr int32_t PositionUnset = INT32_MIN;

struct tSettings {
  // Every key at its default, the per-channel keys and order maps included.
  tSettings();

  // KVClient.ini [Memory], [Battery], [Temperatures], [Fans], [Net]
  int32_t Page = 2, visMem = 1, visCache = 2;
  bool MemAuto = true, visBat = true, TAutoStats = true, TAutoBanner = true, FAuto = true;
  bool NetAuto = true, NetLog = true, NetSep = false;
  // [Light], [Banner], [Stats], [PowerOff]; the three "Path" keys are told apart by section
  std::string Light = "kvlight.png", LightPath;
  bool SaveLight = true, UploadLight = true, MiniLight = false;
  int32_t LightTime = 600000;
  int32_t LightX = PositionUnset, LightY = PositionUnset;
  std::string Banner = "kvwide.png", BannerPath;
  bool SaveBanner = false, UploadBanner = false;
  int32_t BannerTime = 900000;
  double SpanBanner = 6.0, SpanStats = 2.0;
  int32_t BannerX = PositionUnset, BannerY = PositionUnset;
  bool EmergencySuspend = false, POBeep = true;
  // [Misc]
  uint32_t upRecTime = 0;  // longest uptime seen, seconds
  int32_t UpdateCheck = -1;
  std::string AquaeroPath, BOINCPath, SpeedFanParams, LocalPath;
  std::string UpdateServer = DefaultUpdateServer;
  int32_t ReadTemp = 20000;
  bool AutoConnect = true, ShowWarning = true, CheckForUpdate = true,
       CheckForUpdateSpeedFan = true, Mini = false;
  std::string LangFile = EnglishLanguageFile;
  bool AutostartSpeedFan = false, AutostartHWM = true;
  // Presence of [Misc] ShowLight/ShowBanner at load; the app keeps them current while the
  // windows open and close, and SaveWindowState stores them.
  bool ShowLight = false, ShowBanner = false;
  int32_t Left = PositionUnset, Top = PositionUnset;  // main window; the app sets them
  // [Debug]
  bool TimeStampMail = false, IncludeStaticData = false, Debug = false, SaveLog = true,
       KeepMemoryLow = true, AcceptZeroValue = false;
  bool ReadCPUCooL = true, ReadCPUID = true, ReadVCool = true, ReadHMonitor = true,
       ReadSpeedFan = true, ReadAtiTool = true, ReadRivaTuner = true, ReadMBM5190 = true,
       ReadMBM5107 = true, ReadMBM509x = true, ReadMobileMeter = true, ReadEverest = true,
       ReadATITrayTools = true, ReadCoreTemp = true, ReadAquaero = false;
  bool ReadHwmon = true;  // the machine's own hwmon chips through libsensors
  bool ReadGPU = true;    // graphics cards: sysfs (AMD, Intel) and NVML (NVIDIA)
  // [GPU]: the chart's GPU band, one switch per GPU slot; power drawn against GPUPowerMax watts
  bool visGPU1 = false, visGPU2 = false, visGPU3 = false, visGPU4 = false;
  int32_t GPUHeight = 60, GPUPowerMax = 300;
  bool ReadUDisks = true, ReadRAPL = true;  // SATA SMART temperatures; CPU package power
  bool ReadFreq = true, ReadCPU = true, ReadNet = true, ReadDisk = true, ReadMem = true,
       ReadUpTime = true, ReadBat = true, ReadSETI = true;
  // [Alerts]: limits and margins in the readings' units (hundredths of a degree or volt, RPM,
  // KiB, percent); the per-channel limits live in the channel records. 0 switches alertBat
  // and alertStep off.
  int32_t AlertPasses = 3;  // consecutive passes beyond a limit before an alert starts
  int32_t marginT = 200, marginV = 10, marginF = 100, marginDisk = 1048576, marginBat = 3;
  int32_t alertBat = 0;   // battery below this percentage while not on mains power
  int32_t alertStep = 0;  // a pass step failing this many passes in a row
  bool AlertNotify = true;
  std::string AlertCommand;  // program and arguments, split like a command line, never a shell
  int32_t AlertTimeout = 30;  // seconds before a command that still runs is killed
  bool AlertMail = false;     // a mail at each alert's start and end
  bool ShowOfflineTime = true, IgnoreNonsense = true, TimeInUTC = false, OnTopLBT = true,
       DisplayDateTime = true, DisplayHint = true, Beta = true;

  // KVDisplay.ini; temperatures in hundredths of a degree, memory in KiB
  bool Celsius = true;
  int32_t TMinStats = 1500, TMaxStats = 5500, TMinBanner = 1500, TMaxBanner = 5500;
  double TStepStats = 0.0;
  int32_t THeight = 120, FMin = 1000, FMax = 6000, FHeight = 40;
  bool visCPUFreq = false, visUser = true;
  uint32_t colUser = 0;
  int32_t VHeight = 40, CPUHeight = 60;
  uint32_t colMemPage = 0xFF8040, colMem = 0xC06000, colMemCache = 0x603000;
  bool MemFree = false;
  int32_t MemMin = 0, MemMax = 512 * 1024, MemHeight = 60;
  uint32_t colBat = 0x800080;
  int32_t BatHeight = 40, NetMin = 0, NetMax = 12, NetHeight = 80;
  bool DisksFree = false;
  double DiskMin = 0.0, DiskMax = 81920.0;
  bool ThermalZones = false, HTTPServerActive = false;
  int32_t HTTPServerPort = 80;
  std::string HTTPServerBind;  // the address the server listens on; empty: every interface
  bool ClickThrough = false, HideOnClose = false, QPCFix = false, ForceACPI = false;
  uint32_t cBack = 0xE0E0E0, cBorder = 0xC0C0C0, cBorder2 = 0xFFFFFF, cInfo = 0x000000,
           cFreq = 0x0000C0;
  uint32_t cScBack = 0xF0F0F0, cScBorder = 0xFFFFFF, cScBorder2 = 0xC0C0C0, cScGrid = 0xC0C0C0,
           cScDesc = 0x000000;
  int32_t LightAlpha = 153;
  bool BitDisplay = false, OnTop = false;
  int32_t StatsWidth = 550, BannerWidth = 530;
  double Alpha = 0.0;

  // KVServer.ini; passwords held plain here, stored scrambled
  std::string Host, User, FTPPass, FTPPath = "/";
  int32_t Port = 21, UseTLS = 1, UploadType = 1;
  bool Passive = true, PassiveUseControlHost = true, TryNATFastTrack = false, UseCCC = false;
  bool VerifyTLS = true;  // off: a self-signed FTPS server is accepted
  std::string SMTPHost, SMTPUser, SMTPPass;
  int32_t SMTPPort = 25;
  bool SMTPAuth = false;
  int32_t SMTPTLS = 1;  // 0 clear, 1 STARTTLS required, 2 implicit TLS
  std::string MailFrom, MailTo;  // MailTo: one or more addresses, comma-separated
  std::string ProxyHost, ProxyUser, FTPProxyPass, HTTPProxyHost, HTTPProxyUser, HTTPProxyPass;
  int32_t ProxyPort = 1080, ProxyType = 0, HTTPProxyPort = 1080;
  bool HTTPProxyAuth = false;
  // The built-in server asks for these on /metrics and /api/ when HTTPUser is set.
  std::string HTTPUser, HTTPPass;

  // Derived at every load
  bool RunningAsService = false;
  bool HibernateAllowed = false, SuspendAllowed = false;
  uint16_t UpRecDays = 0, UpRecHours = 0, UpRecMins = 0, UpRecSecs = 0;
  bool GermanTexts = false;
  std::string FontArial = "Arial", FontCourier = "Courier New", FontSmall = "Small Fonts";

  // Per-channel keys. TotalKB and FreeKB of a disk slot are readings the disk source keeps there.
  std::array<tChannelCfg, TempChannels> TCfg;
  std::array<tChannelCfg, VoltChannels> VCfg;
  std::array<tFanCfg, FanChannels> FCfg;
  std::array<tChannelCfg, CpuChannels> CPUCfg;
  std::array<tNetSlot, NetSlotCount> NetSlots;
  std::array<tDiskSlot, DiskSlotCount> DiskSlots;

  // Order maps: which sensor of an outside program feeds which channel.
  tIndexMap SFOrderT{}, SFOrderF{}, SFOrderV{};
  tIndexMap MBMOrderT{};
  tStringMap AIDAOrderT, AIDAOrderF, AIDAOrderV;
  tStringMap AtiToolOrderT, AtiToolOrderF;
  tStringMap RivaOrderT, RivaOrderF;
  tStringMap ATTOrderT, ATTOrderF;
  tStringMap AquaeroOrderT, AquaeroOrderF, AquaeroOrderV;
  // hwmon sensors by "chip label" (chip as libsensors prints it); all empty: discovery order.
  tStringMap HwmonOrderT, HwmonOrderV, HwmonOrderF;

  friend bool operator==(const tSettings&, const tSettings&) = default;
};

// Which power actions the system allows, asked at every load; without a query nothing is.
struct tPowerAllowed {
  bool hibernate = false;
  bool suspend = false;
};
using tPowerQuery = std::function<tPowerAllowed()>;

// Whether a load may write KVServer.ini back (converted passwords stored scrambled): not for a
// program that only looks at the settings (kvsysinfo, the options program's reading).
enum class tSettingsLoad { StoreConverted, LookOnly };

// Loads the three files from the settings folder into s (the switches of the command line win
// over their keys); never throws (errors "rr1 " .. "rr4 ").
void ReadSettings(tSettings& s, const tProcessFacts& process, const tPowerQuery& powerAllowed = {},
                  tSettingsLoad load = tSettingsLoad::StoreConverted);
// Writes s into the three files in settingsDir, keeping keys it does not own; with notify,
// tells the running instance to reload.
void WriteSettings(const tSettings& s, const std::string& settingsDir, bool notify);
// Writes the run-time part of s (window, uptime record, toggles) to KVClient.ini.
void SaveWindowState(const tSettings& s, const std::string& settingsDir);

// Every key the settings files hold, per-channel keys spelt out ("nameT1" .. "nameT10"), in
// reading order: what a tool or test needs to know about the key table.
struct tSettingsKeyInfo {
  const char* file;  // ClientIniName, DisplayIniName or ServerIniName
  const char* section;
  std::string key;
  bool written;      // by WriteSettings
  bool windowState;  // by SaveWindowState
  double low = 0, high = -1;  // the range a read value is limited to, in the file's unit; none when low > high
};
std::vector<tSettingsKeyInfo> SettingsKeyList();

// s as one file (ClientIniName, DisplayIniName or ServerIniName) would store it, every key
// included, also those WriteSettings leaves alone: what an editor of the files starts from.
// Nothing is written.
IniFile StoredSettings(const tSettings& s, const std::string& fileName);

}  // namespace kv
