#include "tools/options/OptionPages.h"

#include "settings/Settings.h"

namespace kv {

namespace {

constexpr const char* C = ClientIniName;
constexpr const char* D = DisplayIniName;
constexpr const char* S = ServerIniName;
using K = tOptionKind;

// One row of the table: a single key (count 0) or a family of channel keys prefix1 .. prefixN.
struct tFamily {
  int page;
  const char* file;
  const char* section;
  const char* key;
  K kind;
  int count = 0;
  double low = 0, high = -1;
  const char* message = nullptr;
  std::vector<tOptionChoice> choices = {};
  bool fileOnly = false;
  tAlertQuantity quantity = tAlertQuantity::Temperature;
  const char* off = nullptr;
};

using Q = tAlertQuantity;

// An alert limit (or margin) row; low > high takes the settings table's range.
tFamily Alert(const char* section, const char* key, K kind, Q q, int count = 0, const char* off = nullptr,
              double low = 0, double high = -1) {
  tFamily f{11, ClientIniName, section, key, kind, count, low, high};
  f.quantity = q;
  f.off = off;
  return f;
}

// Channel limits are off at the readings' no-value marker; a limit must fit the 16-bit readings.
constexpr const char* ChannelOff = "32767";
constexpr double LimitLow = -32768, LimitHigh = 32766;

const std::vector<tOptionChoice> TlsModes = {
    {0, "TLSNone"}, {1, "TLSExplicit"}, {2, "TLSImplicit"}, {3, "TLSRequired"}};
const std::vector<tOptionChoice> MailTlsModes = {{0, "TLSNone"}, {1, "TLSStartTLS"}, {2, "TLSImplicit"}};
const std::vector<tOptionChoice> UploadTypes = {{1, "UploadFTP"}, {3, "UploadSCP"}};
const std::vector<tOptionChoice> ProxyTypes = {{0, "ProxyNone"},     {1, "ProxyUserSite"},
                                               {2, "ProxySite"},     {3, "ProxyOpen"},
                                               {4, "ProxyUserPass"}, {5, "ProxyTransparent"}};
// Visibility levels: 0 hidden, 1 shown; the chart gives 2 its own meaning (curve without legend).
const std::vector<tOptionChoice> Levels = {{0, "LevelHidden"}, {1, "LevelShown"}, {2, "LevelCurve"}};

// Band heights in pixels: a band needs room for its legend, and a chart taller than a screen
// helps nobody.
constexpr double HeightLow = 20, HeightHigh = 1000;
constexpr double TempLow = -50, TempHigh = 200;    // whole degrees Celsius
constexpr double RpmHigh = 100000;
constexpr double MemHigh = 16 * 1024 * 1024;       // MB
constexpr double KiBHigh = 2147483647;

const std::vector<tFamily> Families = {
    // 1: upload server and proxy
    {1, S, "FTP", "Host", K::Text},
    {1, S, "FTP", "User", K::Text},
    {1, S, "FTP", "FTPPassCrypt", K::Password},
    {1, S, "FTP", "Port", K::Port, 0, 1, 65535, "ValidPortsFTP"},
    {1, S, "FTP", "Path", K::Text},
    {1, S, "FTP", "Passive", K::Bool},
    {1, S, "FTP", "UseTLS", K::Choice, 0, 0, -1, nullptr, TlsModes},
    {1, S, "FTP", "UploadType", K::Choice, 0, 0, -1, nullptr, UploadTypes},
    {1, S, "Proxy", "ProxyType", K::Choice, 0, 0, -1, nullptr, ProxyTypes},
    {1, S, "Proxy", "ProxyHost", K::Text},
    {1, S, "Proxy", "ProxyUser", K::Text},
    {1, S, "Proxy", "FTPProxyPassCrypt", K::Password},
    {1, S, "Proxy", "ProxyPort", K::Port, 0, 1, 65535, "ValidPortsFTPProxy"},
    {1, S, "Proxy", "HTTPProxyHost", K::Text},
    {1, S, "Proxy", "HTTPProxyUser", K::Text},
    {1, S, "Proxy", "HTTPProxyPassCrypt", K::Password},
    {1, S, "Proxy", "HTTPProxyPort", K::Port, 0, 1, 65535, "ValidPortsHTTPProxy"},
    {1, S, "Proxy", "HTTPProxyAuth", K::Bool},
    // 2: images
    {2, C, "Misc", "LocalPath", K::Folder},
    {2, C, "Light", "Light", K::FileName},
    {2, C, "Light", "Path", K::Text},
    {2, C, "Light", "SaveLight", K::Bool},
    {2, C, "Light", "UploadLight", K::Bool},
    {2, C, "Light", "MiniLight", K::Bool},
    {2, C, "Banner", "Banner", K::FileName},
    {2, C, "Banner", "Path", K::Text},
    {2, C, "Banner", "SaveBanner", K::Bool},
    {2, C, "Banner", "UploadBanner", K::Bool},
    {2, C, "Banner", "SpanBanner", K::Float},
    {2, C, "Stats", "SpanStats", K::Float},
    {2, D, "Misc", "StatsWidth", K::Int},
    {2, D, "Misc", "BannerWidth", K::Int},
    {2, D, "Misc", "Alpha", K::Float, 0, 0, 0.99},
    {2, D, "Misc", "LightAlpha", K::Int, 0, 0, 255},
    {2, D, "Misc", "ClickThrough", K::Bool},
    // 3: colours of the pictures; channel colours are on their channels' pages
    {3, D, "Misc", "cBack", K::Colour},
    {3, D, "Misc", "cBorder", K::Colour},
    {3, D, "Misc", "cBorder2", K::Colour},
    {3, D, "Misc", "cInfo", K::Colour},
    {3, D, "Misc", "cFreq", K::Colour},
    {3, D, "Misc", "cScBack", K::Colour},
    {3, D, "Misc", "cScBorder", K::Colour},
    {3, D, "Misc", "cScBorder2", K::Colour},
    {3, D, "Misc", "cScGrid", K::Colour},
    {3, D, "Misc", "cScDesc", K::Colour},
    {3, D, "Memory", "colMem", K::Colour},
    {3, D, "Memory", "colMemPage", K::Colour},
    {3, D, "Memory", "colMemCache", K::Colour},
    {3, D, "Battery", "colBat", K::Colour},
    {3, D, "CPUs", "colUser", K::Colour},
    // 4: temperatures
    {4, C, "OrderHwmon", "T", K::Text, 10, 0, -1, nullptr, {}, true},
    {4, C, "Temperatures", "nameT", K::Text, 10},
    {4, C, "Temperatures", "visT", K::Choice, 10, 0, -1, nullptr, Levels},
    {4, D, "Temperatures", "colT", K::Colour, 10},
    {4, D, "Temperatures", "boldT", K::Bool, 10},
    {4, D, "Temperatures", "Celsius", K::Bool},
    {4, C, "Temperatures", "TAutoStats", K::Bool},
    {4, D, "Temperatures", "TMinStats", K::Int, 0, TempLow, TempHigh},
    {4, D, "Temperatures", "TMaxStats", K::Int, 0, TempLow, TempHigh},
    {4, C, "Temperatures", "TAutoBanner", K::Bool},
    {4, D, "Temperatures", "TMinBanner", K::Int, 0, TempLow, TempHigh},
    {4, D, "Temperatures", "TMaxBanner", K::Int, 0, TempLow, TempHigh},
    {4, D, "Temperatures", "THeight", K::Int, 0, HeightLow, HeightHigh},
    {4, D, "Misc", "ThermalZones", K::Bool},
    {4, D, "Misc", "ForceACPI", K::Bool},
    // 5: voltages
    {5, C, "OrderHwmon", "V", K::Text, 10, 0, -1, nullptr, {}, true},
    {5, C, "Voltages", "nameV", K::Text, 10},
    {5, C, "Voltages", "visV", K::Choice, 10, 0, -1, nullptr, Levels},
    {5, D, "Voltages", "colV", K::Colour, 10},
    {5, D, "Voltages", "boldV", K::Bool, 10},
    {5, D, "CPUs", "VHeight", K::Int, 0, HeightLow, HeightHigh},
    // 6: fans
    {6, C, "OrderHwmon", "F", K::Text, 10, 0, -1, nullptr, {}, true},
    {6, C, "Fans", "nameF", K::Text, 10},
    {6, C, "Fans", "visF", K::Bool, 10},
    {6, D, "Fans", "colF", K::Colour, 10},
    {6, D, "Fans", "boldF", K::Bool, 10},
    {6, C, "Fans", "FAuto", K::Bool},
    {6, D, "Fans", "FMin", K::Int, 0, 0, RpmHigh},
    {6, D, "Fans", "FMax", K::Int, 0, 0, RpmHigh},
    {6, D, "Fans", "FHeight", K::Int, 0, HeightLow, HeightHigh},
    // 7: memory and CPU
    {7, C, "CPUs", "nameCPU", K::Text, 4},
    {7, C, "CPUs", "visCPU", K::Bool, 4},
    {7, D, "CPUs", "colCPU", K::Colour, 4},
    {7, D, "CPUs", "boldCPU", K::Bool, 4},
    {7, D, "CPUs", "visCPUFreq", K::Bool},
    {7, D, "CPUs", "visUser", K::Bool},
    {7, D, "CPUs", "CPUHeight", K::Int, 0, HeightLow, HeightHigh},
    {7, C, "GPU", "visGPU", K::Bool, 4},
    {7, D, "GPU", "GPUHeight", K::Int, 0, HeightLow, HeightHigh},
    {7, D, "GPU", "GPUPowerMax", K::Int, 0, 1, 100000},
    {7, C, "Memory", "visMem", K::Choice, 0, 0, -1, nullptr, Levels},
    {7, C, "Memory", "Page", K::Choice, 0, 0, -1, nullptr, Levels},
    {7, C, "Memory", "visCache", K::Choice, 0, 0, -1, nullptr, Levels},
    {7, C, "Memory", "MemAuto", K::Bool},
    {7, D, "Memory", "MemFree", K::Bool},
    {7, D, "Memory", "MemMin", K::Int, 0, 0, MemHigh},
    {7, D, "Memory", "MemMax", K::Int, 0, 1, MemHigh},
    {7, D, "Memory", "MemHeight", K::Int, 0, HeightLow, HeightHigh},
    {7, C, "Battery", "visBat", K::Bool},
    {7, D, "Battery", "BatHeight", K::Int, 0, HeightLow, HeightHigh},
    // 8: network
    {8, C, "Net", "nameNet", K::Text, 4},
    {8, C, "Net", "macNet", K::Text, 4},
    {8, C, "Net", "visNet", K::Bool, 4},
    {8, D, "Net", "colRNet", K::Colour, 4},
    {8, D, "Net", "colSNet", K::Colour, 4},
    {8, C, "Net", "NetAuto", K::Bool},
    {8, C, "Net", "NetLog", K::Bool},
    {8, C, "Net", "NetSep", K::Bool},
    {8, D, "Net", "NetMin", K::Int, 0, 0, KiBHigh},
    {8, D, "Net", "NetMax", K::Int, 0, 1, KiBHigh},
    {8, D, "Net", "NetHeight", K::Int, 0, HeightLow, HeightHigh},
    {8, D, "Misc", "BitDisplay", K::Bool},
    // 9: disks
    {9, C, "Disk", "driveDisk", K::Text, 8},
    {9, C, "Disk", "visDisk", K::Bool, 8},
    {9, D, "Disk", "colDisk", K::Colour, 8},
    {9, D, "Disk", "DisksFree", K::Bool},
    {9, D, "Disk", "DiskMin", K::Float, 0, 0, 1e12},
    {9, D, "Disk", "DiskMax", K::Float, 0, 0, 1e12},
    // 10: power-off
    {10, C, "PowerOff", "EmergencySuspend", K::Bool},
    {10, C, "PowerOff", "POBeep", K::Bool},
    // 11: mailing, which holds the alerts: limits per channel, the disk slots' free space,
    // then the rules that apply to all
    Alert("Alerts", "highT", K::Limit, Q::Temperature, 10, ChannelOff, LimitLow, LimitHigh),
    Alert("Alerts", "lowT", K::Limit, Q::Temperature, 10, ChannelOff, LimitLow, LimitHigh),
    Alert("Alerts", "highV", K::Limit, Q::Voltage, 10, ChannelOff, LimitLow, LimitHigh),
    Alert("Alerts", "lowV", K::Limit, Q::Voltage, 10, ChannelOff, LimitLow, LimitHigh),
    Alert("Alerts", "highF", K::Limit, Q::Fan, 10, ChannelOff, 0, LimitHigh),
    Alert("Alerts", "lowF", K::Limit, Q::Fan, 10, ChannelOff, 0, LimitHigh),
    {11, C, "Disk", "enalDisk", K::Bool, 8},
    Alert("Disk", "alertDisk", K::Limit, Q::DiskFree, 8, nullptr, 0, KiBHigh),
    {11, C, "Alerts", "AlertPasses", K::Int},
    Alert("Alerts", "marginT", K::Margin, Q::Temperature),
    Alert("Alerts", "marginV", K::Margin, Q::Voltage),
    Alert("Alerts", "marginF", K::Margin, Q::Fan),
    Alert("Alerts", "marginDisk", K::Margin, Q::DiskFree),
    Alert("Alerts", "alertBat", K::Limit, Q::Battery, 0, "0"),
    Alert("Alerts", "marginBat", K::Margin, Q::Battery),
    Alert("Alerts", "alertStep", K::Limit, Q::StepFailures, 0, "0"),
    {11, C, "Alerts", "AlertNotify", K::Bool},
    {11, C, "Alerts", "AlertCommand", K::Text},
    {11, C, "Alerts", "AlertTimeout", K::Int},
    {11, C, "Alerts", "AlertMail", K::Bool},
    {11, S, "SMTP", "SMTPHost", K::Text},
    {11, S, "SMTP", "SMTPPort", K::Port, 0, 1, 65535, "ValidPortsSMTP"},
    {11, S, "SMTP", "SMTPTLS", K::Choice, 0, 0, -1, nullptr, MailTlsModes},
    {11, S, "SMTP", "SMTPAuth", K::Bool},
    {11, S, "SMTP", "SMTPUser", K::Text},
    {11, S, "SMTP", "SMTPPassCrypt", K::Password},
    {11, S, "SMTP", "MailFrom", K::Text},
    {11, S, "SMTP", "MailTo", K::Text},
    {11, C, "Debug", "TimeStampMail", K::Bool},
    // 12: debug
    {12, C, "Debug", "Debug", K::Bool},
    {12, C, "Debug", "SaveLog", K::Bool},
    {12, C, "Debug", "KeepMemoryLow", K::Bool},
    {12, C, "Debug", "AcceptZeroValue", K::Bool},
    {12, C, "Debug", "IncludeStaticData", K::Bool},
    {12, C, "Debug", "IgnoreNonsense", K::Bool},
    {12, C, "Debug", "ReadHwmon", K::Bool},
    {12, C, "Debug", "ReadGPU", K::Bool},
    {12, C, "Debug", "ReadUDisks", K::Bool},
    {12, C, "Debug", "ReadRAPL", K::Bool},
    {12, C, "Debug", "ReadSpeedFan", K::Bool},
    {12, C, "Debug", "ReadMBM5190", K::Bool},
    {12, C, "Debug", "ReadMBM5107", K::Bool},
    {12, C, "Debug", "ReadMBM509x", K::Bool},
    {12, C, "Debug", "ReadCPUID", K::Bool},
    {12, C, "Debug", "ReadCoreTemp", K::Bool},
    {12, C, "Debug", "ReadEverest", K::Bool},
    {12, C, "Debug", "ReadRivaTuner", K::Bool},
    {12, C, "Debug", "ReadAtiTool", K::Bool},
    {12, C, "Debug", "ReadATITrayTools", K::Bool},
    {12, C, "Debug", "ReadCPUCooL", K::Bool},
    {12, C, "Debug", "ReadVCool", K::Bool},
    {12, C, "Debug", "ReadHMonitor", K::Bool},
    {12, C, "Debug", "ReadMobileMeter", K::Bool},
    {12, C, "Debug", "ReadAquaero", K::Bool},
    {12, C, "Debug", "ReadFreq", K::Bool},
    {12, C, "Debug", "ReadCPU", K::Bool},
    {12, C, "Debug", "ReadNet", K::Bool},
    {12, C, "Debug", "ReadDisk", K::Bool},
    {12, C, "Debug", "ReadMem", K::Bool},
    {12, C, "Debug", "ReadUpTime", K::Bool},
    {12, C, "Debug", "ReadBat", K::Bool},
    {12, C, "Debug", "ReadSETI", K::Bool},
    // 13: expert
    {13, C, "Misc", "ReadTemp", K::Int, 0, 0, -1, "ValidTime"},
    {13, C, "Misc", "AquaeroPath", K::SearchedFolder},
    {13, C, "Misc", "BOINCPath", K::SearchedFolder},
    {13, C, "Misc", "SpeedFanParams", K::Text},
    {13, S, "FTP", "PassiveUseControlHost", K::Bool},
    {13, S, "FTP", "TryNATFastTrack", K::Bool},
    {13, S, "FTP", "UseCCC", K::Bool},
    {13, S, "FTP", "VerifyTLS", K::Bool},
    {13, C, "Fans", "divF", K::Float, 10, 0.01, 128},
    {13, D, "Temperatures", "TStepStats", K::Float, 0, 0, 100},
    {13, D, "Misc", "QPCFix", K::Bool},
    // 14: miscellaneous
    {14, C, "Misc", "LangFile", K::Language},
    {14, AutostartFile, "Desktop Entry", "StartAtLogin", K::Autostart},
    {14, C, "Misc", "AutoConnect", K::Bool},
    {14, C, "Misc", "ShowWarning", K::Bool},
    {14, C, "Misc", "Mini", K::Bool},
    {14, D, "Misc", "HideOnClose", K::Bool},
    {14, D, "Misc", "OnTop", K::Bool},
    {14, C, "Debug", "OnTopLBT", K::Bool},
    {14, C, "Misc", "CheckForUpdate", K::Bool},
    {14, C, "Misc", "CheckForUpdateSpeedFan", K::Bool},
    {14, C, "Misc", "UpdateServer", K::Text},
    {14, C, "Debug", "Beta", K::Bool},
    {14, C, "Misc", "AutostartSpeedFan", K::Bool},
    {14, C, "Misc", "AutostartHWM", K::Bool},
    {14, D, "Misc", "HTTPServerActive", K::Bool},
    {14, D, "Misc", "HTTPServerPort", K::Port, 0, 1, 65535, "ValidPortsHTTPServer"},
    {14, D, "Misc", "HTTPServerBind", K::Text},
    {14, S, "HTTP", "HTTPUser", K::Text},
    {14, S, "HTTP", "HTTPPassCrypt", K::Password},
    {14, C, "Debug", "TimeInUTC", K::Bool},
    {14, C, "Debug", "DisplayDateTime", K::Bool},
    {14, C, "Debug", "DisplayHint", K::Bool},
    {14, C, "Debug", "ShowOfflineTime", K::Bool},
};

const std::vector<tOptionPage> Pages = {
    {1, "mnuServerData", false, false}, {2, "mnuImgs", false, false},
    {3, "mnuColors", false, false},     {4, "mnuTemperatures", false, false},
    {5, "mnuVoltages", false, false},   {6, "mnuFans", false, false},
    {7, "mnuMemCPU", false, false},     {8, "mnuNet", false, false},
    {9, "mnuDisk", false, false},       {10, "mnuPowerOff", false, false},
    {11, "PageAlerts", false, false},   {12, "mnuDebug", true, false},
    {13, "mnuExpert", false, true},     {14, "mnuMisc", false, false},
};

std::vector<tOptionRow> Expand() {
  // The settings table's own ranges (chart widths, spans, the main cycle's period) where a row
  // states none.
  const std::vector<tSettingsKeyInfo> keys = SettingsKeyList();
  std::vector<tOptionRow> rows;
  for (const tFamily& f : Families) {
    const int count = f.count == 0 ? 1 : f.count;
    for (int i = 1; i <= count; ++i) {
      tOptionRow r{f.page, f.file, f.section, f.key, f.kind, f.low, f.high, f.message, f.key};
      r.fileOnly = f.fileOnly;
      r.choices = f.choices;
      r.quantity = f.quantity;
      r.off = f.off;
      if (f.count > 0) {
        r.key += std::to_string(i);
        r.channel = i;
      }
      if (r.low > r.high)
        for (const tSettingsKeyInfo& k : keys)
          if (k.file == std::string(r.file) && k.key == r.key && k.section == std::string(r.section)) {
            r.low = k.low;
            r.high = k.high;
          }
      rows.push_back(std::move(r));
    }
  }
  return rows;
}

}  // namespace

const std::vector<tOptionPage>& OptionPages() { return Pages; }

const tOptionPage* FindOptionPage(int number) {
  for (const tOptionPage& p : Pages)
    if (p.number == number) return &p;
  return nullptr;
}

std::string LimitUnit(const tOptionRow& row, bool celsius) {
  switch (row.quantity) {
    case tAlertQuantity::Temperature: return celsius ? "°C" : "°F";
    case tAlertQuantity::Voltage: return "V";
    case tAlertQuantity::Fan: return "RPM";
    case tAlertQuantity::DiskFree: return "GiB";
    case tAlertQuantity::Battery: return "%";
    case tAlertQuantity::StepFailures: return "";  // the caption says what is counted
  }
  return {};
}

const std::vector<tOptionRow>& OptionRows() {
  static const std::vector<tOptionRow> rows = Expand();
  return rows;
}

std::vector<const tOptionRow*> RowsOfPage(int page) {
  std::vector<const tOptionRow*> out;
  for (const tOptionRow& r : OptionRows())
    if (r.page == page) out.push_back(&r);
  return out;
}

}  // namespace kv
