#include "settings/Settings.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <stdexcept>
#include <variant>

#include "core/EventLog.h"
#include "core/Process.h"
#include "core/Text.h"
#include "platform/Files.h"
#include "platform/Instance.h"
#include "platform/System.h"
#include "settings/Channels.h"
#include "settings/IniFile.h"
#include "settings/Scramble.h"

namespace kv {

tSettings Settings;

namespace {

std::function<tPowerAllowed()> PowerAllowedSource;

enum class tFile { Client, Display, Server };

// How a key's value is taken from the file and given back to it, beyond its type.
enum class tRule {
  None,
  Colour,             // outside 0 .. 0xFFFFFF: the default
  FileName,           // only the file-name part is kept
  Folder,             // empty or "." is SettingsDir; ends in "/"
  LeadingBlank,       // a blank in front when not empty
  Seconds,            // unsigned decimal text; not a number gives 0
  Hundredths,         // whole degrees in the file, hundredths in the state
  MegaBytes,          // MB in the file, KiB in the state (scaled after the pair check)
  Width,              // unsigned 16-bit, then 480 .. 3072
  Fraction,           // below 0 or not below 1: 0
  Password,           // scrambled in the file; an older plain key is converted
  NotSpeedFan,        // defaults to the opposite of AutostartSpeedFan
  IfSuspendAllowed,   // read only when suspending is allowed, else false
  UnlessDebugSwitch,  // -debug wins
  UnlessZeroSwitch,   // -zerovalue wins
  Position,           // written only once something has set it
};

enum class tUse {
  ReadWrite,
  ReadOnly,   // never written by WriteSettings
  WriteOnly,  // not read: the state holds a fixed value that WriteSettings stores
};

using tField = std::variant<bool tSettings::*, int32_t tSettings::*, uint32_t tSettings::*,
                            double tSettings::*, std::string tSettings::*>;

struct tKey {
  tFile file;
  const char* section;
  const char* key;
  tField field;
  double number = 0;         // default of bool, int and float keys
  const char* text = "";     // default of string keys
  tRule rule = tRule::None;
  tUse use = tUse::ReadWrite;
  const char* oldKey = "";   // plain-password key of the older layout
};

constexpr tFile C = tFile::Client;
constexpr tFile D = tFile::Display;
constexpr tFile S = tFile::Server;
constexpr tUse RO = tUse::ReadOnly;
constexpr tUse WO = tUse::WriteOnly;
constexpr tUse RW = tUse::ReadWrite;

tKey B(tFile f, const char* sec, const char* key, bool tSettings::*field, bool def,
       tRule rule = tRule::None, tUse use = RW) {
  return {f, sec, key, field, def ? 1.0 : 0.0, "", rule, use, ""};
}
tKey I(tFile f, const char* sec, const char* key, int32_t tSettings::*field, int32_t def,
       tRule rule = tRule::None, tUse use = RW) {
  return {f, sec, key, field, static_cast<double>(def), "", rule, use, ""};
}
tKey Col(tFile f, const char* sec, const char* key, uint32_t tSettings::*field, uint32_t def) {
  return {f, sec, key, field, static_cast<double>(def), "", tRule::Colour, RW, ""};
}
tKey F(tFile f, const char* sec, const char* key, double tSettings::*field, double def,
       tRule rule = tRule::None, tUse use = RW) {
  return {f, sec, key, field, def, "", rule, use, ""};
}
tKey Str(tFile f, const char* sec, const char* key, std::string tSettings::*field,
         const char* def, tRule rule = tRule::None, tUse use = RW) {
  return {f, sec, key, field, 0, def, rule, use, ""};
}
tKey Pass(const char* sec, const char* key, std::string tSettings::*field, const char* oldKey) {
  return {S, sec, key, field, 0, "", tRule::Password, RW, oldKey};
}

using T = tSettings;
using R = tRule;

// Every single key, file by file in reading order. Per-channel keys are read by ReadChannels.
const std::vector<tKey> SingleKeys = {
    I(C, "Memory", "Page", &T::Page, 2),
    I(C, "Memory", "visMem", &T::visMem, 1),
    I(C, "Memory", "visCache", &T::visCache, 2),
    B(C, "Memory", "MemAuto", &T::MemAuto, true),
    B(C, "Battery", "visBat", &T::visBat, true),
    B(C, "Temperatures", "TAutoStats", &T::TAutoStats, true),
    B(C, "Temperatures", "TAutoBanner", &T::TAutoBanner, true),
    B(C, "Fans", "FAuto", &T::FAuto, true),
    B(C, "Net", "NetAuto", &T::NetAuto, true),
    B(C, "Net", "NetLog", &T::NetLog, true),
    B(C, "Net", "NetSep", &T::NetSep, false),
    Str(C, "Light", "Light", &T::Light, "kvlight.png", R::FileName),
    Str(C, "Light", "Path", &T::LightPath, ""),
    B(C, "Light", "SaveLight", &T::SaveLight, true),
    B(C, "Light", "UploadLight", &T::UploadLight, true),
    I(C, "Light", "LightTime", &T::LightTime, 600000, R::None, WO),
    B(C, "Light", "MiniLight", &T::MiniLight, false),
    // The light and banner windows store their own positions when they hide.
    I(C, "Light", "LightX", &T::LightX, PositionUnset, R::Position, RO),
    I(C, "Light", "LightY", &T::LightY, PositionUnset, R::Position, RO),
    Str(C, "Banner", "Banner", &T::Banner, "kvwide.png", R::FileName),
    Str(C, "Banner", "Path", &T::BannerPath, ""),
    B(C, "Banner", "SaveBanner", &T::SaveBanner, false),
    B(C, "Banner", "UploadBanner", &T::UploadBanner, false),
    I(C, "Banner", "BannerTime", &T::BannerTime, 900000, R::None, WO),
    F(C, "Banner", "SpanBanner", &T::SpanBanner, 6.0),
    I(C, "Banner", "BannerX", &T::BannerX, PositionUnset, R::Position, RO),
    I(C, "Banner", "BannerY", &T::BannerY, PositionUnset, R::Position, RO),
    F(C, "Stats", "SpanStats", &T::SpanStats, 2.0),
    B(C, "PowerOff", "EmergencySuspend", &T::EmergencySuspend, false, R::IfSuspendAllowed),
    B(C, "PowerOff", "POBeep", &T::POBeep, true),
    {C, "Misc", "upRecTime", &T::upRecTime, 0, "0", R::Seconds, RW, ""},
    I(C, "Misc", "UpdateCheck", &T::UpdateCheck, -1, R::None, RO),
    Str(C, "Misc", "AquaeroPath", &T::AquaeroPath, "", R::Folder, RO),
    Str(C, "Misc", "BOINCPath", &T::BOINCPath, "", R::Folder, RO),
    Str(C, "Misc", "SpeedFanParams", &T::SpeedFanParams, "", R::LeadingBlank, RO),
    Str(C, "Misc", "LocalPath", &T::LocalPath, "", R::Folder),
    I(C, "Misc", "ReadTemp", &T::ReadTemp, 20000),
    B(C, "Misc", "AutoConnect", &T::AutoConnect, true),
    B(C, "Misc", "ShowWarning", &T::ShowWarning, true),
    B(C, "Misc", "CheckForUpdate", &T::CheckForUpdate, true),
    B(C, "Misc", "CheckForUpdateSpeedFan", &T::CheckForUpdateSpeedFan, true),
    B(C, "Misc", "Mini", &T::Mini, false),
    Str(C, "Misc", "LangFile", &T::LangFile, "English.lng"),
    B(C, "Misc", "AutostartSpeedFan", &T::AutostartSpeedFan, false),
    B(C, "Misc", "AutostartHWM", &T::AutostartHWM, true, R::NotSpeedFan),
    I(C, "Misc", "Left", &T::Left, PositionUnset, R::Position),
    I(C, "Misc", "Top", &T::Top, PositionUnset, R::Position),
    B(C, "Debug", "TimeStampMail", &T::TimeStampMail, false),
    B(C, "Debug", "IncludeStaticData", &T::IncludeStaticData, false),
    B(C, "Debug", "Debug", &T::Debug, false, R::UnlessDebugSwitch),
    B(C, "Debug", "SaveLog", &T::SaveLog, true),
    B(C, "Debug", "KeepMemoryLow", &T::KeepMemoryLow, true),
    B(C, "Debug", "AcceptZeroValue", &T::AcceptZeroValue, false, R::UnlessZeroSwitch),
    B(C, "Debug", "ReadCPUCooL", &T::ReadCPUCooL, true),
    B(C, "Debug", "ReadCPUID", &T::ReadCPUID, true),
    B(C, "Debug", "ReadVCool", &T::ReadVCool, true),
    B(C, "Debug", "ReadHMonitor", &T::ReadHMonitor, true),
    B(C, "Debug", "ReadSpeedFan", &T::ReadSpeedFan, true),
    B(C, "Debug", "ReadAtiTool", &T::ReadAtiTool, true),
    B(C, "Debug", "ReadRivaTuner", &T::ReadRivaTuner, true),
    B(C, "Debug", "ReadMBM5190", &T::ReadMBM5190, true),
    B(C, "Debug", "ReadMBM5107", &T::ReadMBM5107, true),
    B(C, "Debug", "ReadMBM509x", &T::ReadMBM509x, true),
    B(C, "Debug", "ReadMobileMeter", &T::ReadMobileMeter, true),
    B(C, "Debug", "ReadEverest", &T::ReadEverest, true),
    B(C, "Debug", "ReadATITrayTools", &T::ReadATITrayTools, true),
    B(C, "Debug", "ReadCoreTemp", &T::ReadCoreTemp, true),
    B(C, "Debug", "ReadAquaero", &T::ReadAquaero, false),
    B(C, "Debug", "ReadHwmon", &T::ReadHwmon, true),
    B(C, "Debug", "ReadFreq", &T::ReadFreq, true),
    B(C, "Debug", "ReadCPU", &T::ReadCPU, true),
    B(C, "Debug", "ReadNet", &T::ReadNet, true),
    B(C, "Debug", "ReadDisk", &T::ReadDisk, true),
    B(C, "Debug", "ReadMem", &T::ReadMem, true),
    B(C, "Debug", "ReadUpTime", &T::ReadUpTime, true),
    B(C, "Debug", "ReadBat", &T::ReadBat, true),
    B(C, "Debug", "ReadSETI", &T::ReadSETI, true),
    B(C, "Debug", "ShowOfflineTime", &T::ShowOfflineTime, true),
    B(C, "Debug", "IgnoreNonsense", &T::IgnoreNonsense, true),
    B(C, "Debug", "TimeInUTC", &T::TimeInUTC, false),
    B(C, "Debug", "OnTopLBT", &T::OnTopLBT, true),
    B(C, "Debug", "DisplayDateTime", &T::DisplayDateTime, true),
    B(C, "Debug", "DisplayHint", &T::DisplayHint, true),
    B(C, "Debug", "Beta", &T::Beta, true),

    B(D, "Temperatures", "Celsius", &T::Celsius, true),
    I(D, "Temperatures", "TMinStats", &T::TMinStats, 15, R::Hundredths),
    I(D, "Temperatures", "TMaxStats", &T::TMaxStats, 55, R::Hundredths),
    F(D, "Temperatures", "TStepStats", &T::TStepStats, 0.0, R::None, RO),
    I(D, "Temperatures", "TMinBanner", &T::TMinBanner, 15, R::Hundredths),
    I(D, "Temperatures", "TMaxBanner", &T::TMaxBanner, 55, R::Hundredths),
    I(D, "Temperatures", "THeight", &T::THeight, 120),
    I(D, "Fans", "FMin", &T::FMin, 1000),
    I(D, "Fans", "FMax", &T::FMax, 6000),
    I(D, "Fans", "FHeight", &T::FHeight, 40),
    B(D, "CPUs", "visCPUFreq", &T::visCPUFreq, false),
    Col(D, "CPUs", "colUser", &T::colUser, 0),
    B(D, "CPUs", "visUser", &T::visUser, true),
    I(D, "CPUs", "VHeight", &T::VHeight, 40),
    I(D, "CPUs", "CPUHeight", &T::CPUHeight, 60),
    Col(D, "Memory", "colMemPage", &T::colMemPage, 0xFF8040),
    Col(D, "Memory", "colMem", &T::colMem, 0xC06000),
    Col(D, "Memory", "colMemCache", &T::colMemCache, 0x603000),
    B(D, "Memory", "MemFree", &T::MemFree, false),
    I(D, "Memory", "MemMin", &T::MemMin, 0, R::MegaBytes),
    I(D, "Memory", "MemMax", &T::MemMax, 512, R::MegaBytes),
    I(D, "Memory", "MemHeight", &T::MemHeight, 60),
    Col(D, "Battery", "colBat", &T::colBat, 0x800080),
    I(D, "Battery", "BatHeight", &T::BatHeight, 40),
    I(D, "Net", "NetMin", &T::NetMin, 0, R::None, RO),
    I(D, "Net", "NetMax", &T::NetMax, 12),
    I(D, "Net", "NetHeight", &T::NetHeight, 80),  // [Memory] NetHeight overrides, see below
    B(D, "Disk", "DisksFree", &T::DisksFree, false),
    F(D, "Disk", "DiskMin", &T::DiskMin, 0.0),
    F(D, "Disk", "DiskMax", &T::DiskMax, 81920.0),
    B(D, "Misc", "ThermalZones", &T::ThermalZones, false),
    B(D, "Misc", "HTTPServerActive", &T::HTTPServerActive, false),
    I(D, "Misc", "HTTPServerPort", &T::HTTPServerPort, 80),
    B(D, "Misc", "ClickThrough", &T::ClickThrough, false, R::None, RO),
    B(D, "Misc", "HideOnClose", &T::HideOnClose, false),
    // Its default "before Windows 2000" has no Linux counterpart: false.
    B(D, "Misc", "QPCFix", &T::QPCFix, false),
    B(D, "Misc", "ForceACPI", &T::ForceACPI, false),
    Col(D, "Misc", "cBack", &T::cBack, 0xE0E0E0),
    Col(D, "Misc", "cBorder", &T::cBorder, 0xC0C0C0),
    Col(D, "Misc", "cBorder2", &T::cBorder2, 0xFFFFFF),
    Col(D, "Misc", "cInfo", &T::cInfo, 0x000000),
    Col(D, "Misc", "cFreq", &T::cFreq, 0x0000C0),
    Col(D, "Misc", "cScBack", &T::cScBack, 0xF0F0F0),
    Col(D, "Misc", "cScBorder", &T::cScBorder, 0xFFFFFF),
    Col(D, "Misc", "cScBorder2", &T::cScBorder2, 0xC0C0C0),
    Col(D, "Misc", "cScGrid", &T::cScGrid, 0xC0C0C0),
    Col(D, "Misc", "cScDesc", &T::cScDesc, 0x000000),
    I(D, "Misc", "LightAlpha", &T::LightAlpha, 153),
    B(D, "Misc", "BitDisplay", &T::BitDisplay, false),
    B(D, "Misc", "OnTop", &T::OnTop, false),
    I(D, "Misc", "StatsWidth", &T::StatsWidth, 550, R::Width),
    I(D, "Misc", "BannerWidth", &T::BannerWidth, 530, R::Width),
    F(D, "Misc", "Alpha", &T::Alpha, 0.0, R::Fraction),

    Str(S, "FTP", "Host", &T::Host, ""),
    Str(S, "FTP", "User", &T::User, ""),
    Pass("FTP", "FTPPassCrypt", &T::FTPPass, "Pass"),
    I(S, "FTP", "Port", &T::Port, 21),
    B(S, "FTP", "Passive", &T::Passive, true),
    B(S, "FTP", "PassiveUseControlHost", &T::PassiveUseControlHost, true, R::None, RO),
    B(S, "FTP", "TryNATFastTrack", &T::TryNATFastTrack, false, R::None, RO),
    B(S, "FTP", "UseCCC", &T::UseCCC, false, R::None, RO),
    I(S, "FTP", "UseTLS", &T::UseTLS, 1),
    I(S, "FTP", "UploadType", &T::UploadType, 1),
    Str(S, "FTP", "Path", &T::FTPPath, "/"),
    Str(S, "SMTP", "SMTPHost", &T::SMTPHost, ""),
    Str(S, "SMTP", "SMTPUser", &T::SMTPUser, ""),
    I(S, "SMTP", "SMTPPort", &T::SMTPPort, 25),
    B(S, "SMTP", "SMTPAuth", &T::SMTPAuth, false),
    Pass("SMTP", "SMTPPassCrypt", &T::SMTPPass, "SMTPPass"),
    Str(S, "Proxy", "ProxyHost", &T::ProxyHost, ""),
    Str(S, "Proxy", "ProxyUser", &T::ProxyUser, ""),
    I(S, "Proxy", "ProxyPort", &T::ProxyPort, 1080),
    Pass("Proxy", "FTPProxyPassCrypt", &T::FTPProxyPass, "ProxyPass"),
    I(S, "Proxy", "ProxyType", &T::ProxyType, 0),
    Str(S, "Proxy", "HTTPProxyHost", &T::HTTPProxyHost, ""),
    Str(S, "Proxy", "HTTPProxyUser", &T::HTTPProxyUser, ""),
    Pass("Proxy", "HTTPProxyPassCrypt", &T::HTTPProxyPass, "HTTPProxyPass"),
    I(S, "Proxy", "HTTPProxyPort", &T::HTTPProxyPort, 1080),
    B(S, "Proxy", "HTTPProxyAuth", &T::HTTPProxyAuth, false),
};

constexpr uint32_t MaxColour = 0xFFFFFF;

// Multiplies without overflow; absurd file values end at the int32 limits.
int32_t Scaled(int32_t v, int64_t factor) {
  return static_cast<int32_t>(std::clamp<int64_t>(v * factor, INT32_MIN, INT32_MAX));
}

std::string FolderValue(const std::string& stored) {
  if (stored.empty() || stored == ".") return SettingsDir;
  return IncludeTrailingSlash(stored);
}

std::string FileNamePart(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

uint32_t SecondsValue(const std::string& text) {
  const std::optional<int64_t> v = ParseInt(Trim(text));
  if (!v || *v < 0 || *v > UINT32_MAX) return 0;
  return static_cast<uint32_t>(*v);
}

// Reads one single key into the state, applying its rule. The password rule may change the
// file (the plain key of the older layout is replaced by the scrambled one).
void ReadKey(const tKey& k, IniFile& ini, tSettings& s) {
  if (k.use == WO) {
    s.*std::get<int32_t T::*>(k.field) = static_cast<int32_t>(k.number);
    return;
  }
  std::visit(
      [&](auto field) {
        using V = std::remove_reference_t<decltype(s.*field)>;
        if constexpr (std::is_same_v<V, bool>) {
          const bool def = k.number != 0;
          switch (k.rule) {
            case R::NotSpeedFan:
              s.*field = ini.ReadBool(k.section, k.key, !s.AutostartSpeedFan);
              break;
            case R::IfSuspendAllowed:
              s.*field = s.SuspendAllowed && ini.ReadBool(k.section, k.key, def);
              break;
            case R::UnlessDebugSwitch:
              s.*field = DebugSwitch || ini.ReadBool(k.section, k.key, def);
              break;
            case R::UnlessZeroSwitch:
              s.*field = ZeroValueSwitch || ini.ReadBool(k.section, k.key, def);
              break;
            default:
              s.*field = ini.ReadBool(k.section, k.key, def);
          }
        } else if constexpr (std::is_same_v<V, int32_t>) {
          const auto def = static_cast<int32_t>(k.number);
          int32_t v = ini.ReadInteger(k.section, k.key, def);
          if (k.rule == R::Hundredths) v = Scaled(v, 100);
          if (k.rule == R::Width) v = std::clamp<int32_t>(static_cast<uint16_t>(v), 480, 3072);
          s.*field = v;
        } else if constexpr (std::is_same_v<V, uint32_t>) {
          if (k.rule == R::Seconds) {
            s.*field = SecondsValue(ini.ReadString(k.section, k.key, k.text));
          } else {
            const int32_t v = ini.ReadInteger(k.section, k.key, static_cast<int32_t>(k.number));
            s.*field = v < 0 || static_cast<uint32_t>(v) > MaxColour
                           ? static_cast<uint32_t>(k.number)
                           : static_cast<uint32_t>(v);
          }
        } else if constexpr (std::is_same_v<V, double>) {
          double v = ini.ReadFloat(k.section, k.key, k.number);
          if (k.rule == R::Fraction && (v < 0 || v >= 1)) v = 0;
          s.*field = v;
        } else {
          std::string v;
          if (k.rule == R::Password) {
            if (ini.ValueExists(k.section, k.oldKey)) {
              v = ini.ReadString(k.section, k.oldKey, "");
              ini.DeleteKey(k.section, k.oldKey);
              ini.WriteString(k.section, k.key, ScramblePassword(v));
            } else {
              v = UnscramblePassword(ini.ReadString(k.section, k.key, ""));
            }
          } else {
            v = ini.ReadString(k.section, k.key, k.text);
          }
          if (k.rule == R::FileName) v = FileNamePart(v);
          if (k.rule == R::Folder) v = FolderValue(v);
          if (k.rule == R::LeadingBlank && !v.empty()) v = " " + v;
          s.*field = v;
        }
      },
      k.field);
}

void WriteKey(const tKey& k, IniFile& ini, const tSettings& s) {
  std::visit(
      [&](auto field) {
        const auto& v = s.*field;
        using V = std::remove_cvref_t<decltype(v)>;
        if constexpr (std::is_same_v<V, bool>) {
          ini.WriteBool(k.section, k.key, v);
        } else if constexpr (std::is_same_v<V, int32_t>) {
          if (k.rule == R::Position && v == PositionUnset) return;
          int32_t stored = v;
          if (k.rule == R::Hundredths) stored = v / 100;
          if (k.rule == R::MegaBytes) stored = v / 1024;
          ini.WriteInteger(k.section, k.key, stored);
        } else if constexpr (std::is_same_v<V, uint32_t>) {
          ini.WriteInteger(k.section, k.key, v);
        } else if constexpr (std::is_same_v<V, double>) {
          ini.WriteFloat(k.section, k.key, v);
        } else {
          ini.WriteString(k.section, k.key, k.rule == R::Password ? ScramblePassword(v) : v);
        }
      },
      k.field);
}

void ReadSingleKeys(tFile file, IniFile& ini, tSettings& s) {
  for (const tKey& k : SingleKeys)
    if (k.file == file) ReadKey(k, ini, s);
}

void WriteSingleKeys(tFile file, IniFile& ini, const tSettings& s) {
  for (const tKey& k : SingleKeys)
    if (k.file == file && k.use != RO) WriteKey(k, ini, s);
}

std::string Num(const char* prefix, int channel) { return prefix + std::to_string(channel); }

uint32_t ChannelColour(const IniFile& ini, const char* section, const std::string& key,
                       uint32_t def) {
  const int32_t v = ini.ReadInteger(section, key, static_cast<int32_t>(def));
  return v < 0 || static_cast<uint32_t>(v) > MaxColour ? 0 : static_cast<uint32_t>(v);
}

// Order maps of string entries: read only when the section exists, else the defaults.
struct tStringOrder {
  const char* section;
  tStringMap* t;
  tStringMap* f;
  tStringMap* v;  // may be null
  bool lowerCase;
  void (*setDefault)();
};

const tStringOrder StringOrders[] = {
    {"OrderAquaero", &AquaeroOrderT, &AquaeroOrderF, &AquaeroOrderV, false, SetDefaultAquaeroOrder},
    {"OrderAtiTool", &AtiToolOrderT, &AtiToolOrderF, nullptr, true, SetDefaultAtiToolOrder},
    {"OrderRivaTuner", &RivaOrderT, &RivaOrderF, nullptr, true, SetDefaultRivaOrder},
    {"OrderATITrayTools", &ATTOrderT, &ATTOrderF, nullptr, true, SetDefaultATTOrder},
    {"OrderHwmon", &HwmonOrderT, &HwmonOrderF, &HwmonOrderV, false, SetDefaultHwmonOrder},
};

void ReadStringOrders(const IniFile& ini) {
  for (const tStringOrder& order : StringOrders) {
    order.setDefault();
    if (!ini.SectionExists(order.section)) continue;
    const std::pair<const char*, tStringMap*> maps[] = {{"T", order.t}, {"F", order.f},
                                                        {"V", order.v}};
    for (const auto& [letter, map] : maps) {
      if (!map) continue;
      for (int i = 1; i <= TempChannels; ++i) {
        std::string& entry = (*map)[ChannelIndex(i)];
        entry = ini.ReadString(order.section, Num(letter, i), entry);
        if (order.lowerCase) entry = LowerCase(entry);
      }
    }
  }
}

// A 1-based index in the file, 0-based in the map; outside 1 .. limit gives the default.
uint8_t OrderIndex(const IniFile& ini, const char* section, const std::string& key, int limit,
                   int defaultIndex) {
  const int32_t v = ini.ReadInteger(section, key, defaultIndex + 1);
  return static_cast<uint8_t>(v >= 1 && v <= limit ? v - 1 : defaultIndex);
}

void ReadClientChannels(const IniFile& ini) {
  ReadStringOrders(ini);
  for (int i = 1; i <= TempChannels; ++i) {
    const int x = ChannelIndex(i);
    TCfg[x].Name = ini.ReadString("Temperatures", Num("nameT", i), Num("T", i));
    VCfg[x].Name = ini.ReadString("Voltages", Num("nameV", i), Num("V", i));
    FCfg[x].Name = ini.ReadString("Fans", Num("nameF", i), Num("F", i));
    TCfg[x].Vis = static_cast<uint8_t>(ini.ReadInteger("Temperatures", Num("visT", i), 1));
    VCfg[x].Vis = static_cast<uint8_t>(ini.ReadInteger("Voltages", Num("visV", i), 0));
    FCfg[x].Vis = ini.ReadBool("Fans", Num("visF", i), false) ? 1 : 0;
    const double div = ini.ReadFloat("Fans", Num("divF", i), 1.0);
    FCfg[x].Div = div == 0 ? 1.0 : div;
    MBMOrderT[x] = OrderIndex(ini, "OrderMBM5190", Num("T", i), 100, i - 1);
    SFOrderT[x] = OrderIndex(ini, "OrderSpeedFan", Num("T", i), 32, 10 - i);
    SFOrderF[x] = OrderIndex(ini, "OrderSpeedFan", Num("F", i), 32, 10 - i);
    SFOrderV[x] = OrderIndex(ini, "OrderSpeedFan", Num("V", i), 32, 10 - i);
    AIDAOrderT[x] = ini.ReadString("OrderAIDA", Num("T", i), std::to_string(i));
    AIDAOrderF[x] = ini.ReadString("OrderAIDA", Num("F", i), std::to_string(i));
    AIDAOrderV[x] = ini.ReadString("OrderAIDA", Num("V", i), std::to_string(i));
  }
  for (int i = 1; i <= CpuChannels; ++i) {
    tChannelCfg& cpu = CPUCfg[ChannelIndex(i)];
    cpu.Name = ini.ReadString("CPUs", Num("nameCPU", i), Num("Core", i));
    cpu.Vis = ini.ReadBool("CPUs", Num("visCPU", i), true) ? 1 : 0;
  }
  for (int i = 1; i <= NetSlotCount; ++i) {
    tNetSlot& net = NetSlots[ChannelIndex(i)];
    net.Name = ini.ReadString("Net", Num("nameNet", i), Num("Net", i));
    net.Mac = ini.ReadString("Net", Num("macNet", i), "");
    net.Vis = ini.ReadBool("Net", Num("visNet", i), true);
  }
  for (int i = 1; i <= DiskSlotCount; ++i) {
    tDiskSlot& disk = DiskSlots[ChannelIndex(i)];
    SetDiskDrive(disk, ini.ReadString("Disk", Num("driveDisk", i), ""));
    disk.Vis = ini.ReadBool("Disk", Num("visDisk", i), true);
    disk.AlertOn = false;
    disk.AlertKB = tDiskSlot{}.AlertKB;
    if (disk.Drive.empty()) continue;
    disk.AlertOn = ini.ReadBool("Disk", Num("enalDisk", i), false);
    disk.AlertKB = ini.ReadInteger("Disk", Num("alertDisk", i), 10485760);
  }
}

void WriteClientChannels(IniFile& ini) {
  for (int i = 1; i <= TempChannels; ++i) {
    const int x = ChannelIndex(i);
    ini.WriteString("Temperatures", Num("nameT", i), TCfg[x].Name);
    ini.WriteString("Voltages", Num("nameV", i), VCfg[x].Name);
    ini.WriteString("Fans", Num("nameF", i), FCfg[x].Name);
    ini.WriteInteger("Temperatures", Num("visT", i), TCfg[x].Vis);
    ini.WriteInteger("Voltages", Num("visV", i), VCfg[x].Vis);
    ini.WriteBool("Fans", Num("visF", i), FCfg[x].Vis != 0);
  }
  for (int i = 1; i <= CpuChannels; ++i) {
    ini.WriteString("CPUs", Num("nameCPU", i), CPUCfg[ChannelIndex(i)].Name);
    ini.WriteBool("CPUs", Num("visCPU", i), CPUCfg[ChannelIndex(i)].Vis != 0);
  }
  for (int i = 1; i <= NetSlotCount; ++i) {
    const tNetSlot& net = NetSlots[ChannelIndex(i)];
    ini.WriteString("Net", Num("nameNet", i), net.Name);
    ini.WriteString("Net", Num("macNet", i), net.Mac);
    ini.WriteBool("Net", Num("visNet", i), net.Vis);
  }
  for (int i = 1; i <= DiskSlotCount; ++i) {
    const tDiskSlot& disk = DiskSlots[ChannelIndex(i)];
    ini.WriteString("Disk", Num("driveDisk", i), disk.Drive);
    ini.WriteBool("Disk", Num("visDisk", i), disk.Vis);
    ini.WriteBool("Disk", Num("enalDisk", i), disk.AlertOn);
    ini.WriteInteger("Disk", Num("alertDisk", i), disk.AlertKB);
  }
}

// The colour-and-bold groups of KVDisplay.ini.
struct tColourGroup {
  const char* section;
  const char* colKey;
  const char* boldKey;
  tChannelCfg* (*channel)(int index);
  int count;
};

const tColourGroup ColourGroups[] = {
    {"Temperatures", "colT", "boldT", [](int x) { return &TCfg[x]; }, TempChannels},
    {"Voltages", "colV", "boldV", [](int x) { return &VCfg[x]; }, VoltChannels},
    {"Fans", "colF", "boldF", [](int x) -> tChannelCfg* { return &FCfg[x]; }, FanChannels},
    {"CPUs", "colCPU", "boldCPU", [](int x) { return &CPUCfg[x]; }, CpuChannels},
};

void ReadDisplayChannels(const IniFile& ini) {
  for (const tColourGroup& g : ColourGroups) {
    for (int i = 1; i <= g.count; ++i) {
      tChannelCfg& ch = *g.channel(ChannelIndex(i));
      ch.Colour = ChannelColour(ini, g.section, Num(g.colKey, i), ch.Colour);
      ch.Bold = ini.ReadBool(g.section, Num(g.boldKey, i), true);
    }
  }
  for (int i = 1; i <= NetSlotCount; ++i) {
    tNetSlot& net = NetSlots[ChannelIndex(i)];
    net.ColourIn = ChannelColour(ini, "Net", Num("colRNet", i), net.ColourIn);
    net.ColourOut = ChannelColour(ini, "Net", Num("colSNet", i), net.ColourOut);
  }
  for (int i = 1; i <= DiskSlotCount; ++i) {
    tDiskSlot& disk = DiskSlots[ChannelIndex(i)];
    disk.Colour = ChannelColour(ini, "Disk", Num("colDisk", i), disk.Colour);
  }
}

void WriteDisplayChannels(IniFile& ini) {
  for (const tColourGroup& g : ColourGroups) {
    for (int i = 1; i <= g.count; ++i) {
      const tChannelCfg& ch = *g.channel(ChannelIndex(i));
      ini.WriteInteger(g.section, Num(g.colKey, i), ch.Colour);
      ini.WriteBool(g.section, Num(g.boldKey, i), ch.Bold);
    }
  }
  for (int i = 1; i <= NetSlotCount; ++i) {
    ini.WriteInteger("Net", Num("colRNet", i), NetSlots[ChannelIndex(i)].ColourIn);
    ini.WriteInteger("Net", Num("colSNet", i), NetSlots[ChannelIndex(i)].ColourOut);
  }
  for (int i = 1; i <= DiskSlotCount; ++i)
    ini.WriteInteger("Disk", Num("colDisk", i), DiskSlots[ChannelIndex(i)].Colour);
}

void SplitUptimeRecord(tSettings& s) {
  const uint32_t t = s.upRecTime;
  s.UpRecDays = static_cast<uint16_t>(t / 86400);
  s.UpRecHours = static_cast<uint16_t>(t / 3600 % 24);
  s.UpRecMins = static_cast<uint16_t>(t / 60 % 60);
  s.UpRecSecs = static_cast<uint16_t>(t % 60);
}

// The memory scale is stored in MB; a reversed or empty range gives the default range.
void FixMemoryRange(tSettings& s) {
  if (s.MemMin >= s.MemMax) {
    s.MemMin = 0;
    s.MemMax = 512;
  }
  s.MemMin = Scaled(s.MemMin, 1024);
  s.MemMax = Scaled(s.MemMax, 1024);
}

std::string IniPath(const char* name) { return SettingsDir + name; }

}  // namespace

void SetPowerAllowedSource(std::function<tPowerAllowed()> source) {
  PowerAllowedSource = std::move(source);
}

void ReadSettings() {
  tSettings& s = Settings;
  try {
    s.HibernateAllowed = s.SuspendAllowed = false;
    if (PowerAllowedSource) {
      const tPowerAllowed allowed = PowerAllowedSource();
      s.HibernateAllowed = allowed.hibernate;
      s.SuspendAllowed = allowed.suspend;
    }
    s.RunningAsService = false;
    s.RunningAsService = UpperCase(UserName()) == "SYSTEM";
  } catch (const std::exception& e) {
    LogError("rr1 ", e);
  }

  // Names and visibility first, so that a file broken early still leaves sound channels.
  SetDefaultChannelNames();
  for (tChannelCfg& t : TCfg) t.Vis = 1;
  for (tChannelCfg& v : VCfg) v.Vis = 0;
  for (tFanCfg& f : FCfg) f.Vis = 0;

  try {
    IniFile client(IniPath(ClientIniName));
    ReadClientChannels(client);
    ReadSingleKeys(tFile::Client, client, s);
    SplitUptimeRecord(s);
    // Only their presence counts: it opens the windows at start.
    s.ShowLight = client.ValueExists("Misc", "ShowLight");
    s.ShowBanner = client.ValueExists("Misc", "ShowBanner");
  } catch (const std::exception& e) {
    LogError("rr2 ", e);
  }

  SetDefaultChannelColours();
  s.colUser = 0;
  try {
    IniFile display(IniPath(DisplayIniName));
    ReadDisplayChannels(display);
    ReadSingleKeys(tFile::Display, display, s);
    FixMemoryRange(s);
    s.NetHeight = display.ReadInteger("Memory", "NetHeight", s.NetHeight);
  } catch (const std::exception& e) {
    LogError("rr3 ", e);
  }
  s.FontArial = "Arial";
  s.FontCourier = "Courier New";
  s.FontSmall = "Small Fonts";

  try {
    IniFile server(IniPath(ServerIniName));
    ReadSingleKeys(tFile::Server, server, s);
    // Written back so that converted passwords are stored scrambled; readable only by the user.
    if (!server.UpdateFile(0600)) throw std::runtime_error("cannot write " + server.Path());
  } catch (const std::exception& e) {
    LogError("rr4 ", e);
  }
  SetProtocolPasswords(s.FTPPass, s.FTPProxyPass);

  s.GermanTexts = s.LangFile.find("Deutsch") != std::string::npos;
  SetDebugMode(s.Debug);
}

void WriteSettings(bool notify) {
  const tSettings& s = Settings;
  struct tTarget {
    tFile file;
    const char* name;
    unsigned mode;
    void (*channels)(IniFile&);
  };
  const tTarget targets[] = {
      {tFile::Client, ClientIniName, 0644, WriteClientChannels},
      {tFile::Display, DisplayIniName, 0644, WriteDisplayChannels},
      {tFile::Server, ServerIniName, 0600, nullptr},
  };
  for (const tTarget& t : targets) {
    try {
      IniFile ini(IniPath(t.name));
      if (t.channels) t.channels(ini);
      WriteSingleKeys(t.file, ini, s);
      if (t.file == tFile::Display) ini.DeleteKey("Memory", "NetHeight");
      ini.UpdateFile(t.mode);  // a failed write loses the changes; the old file stays whole
    } catch (const std::exception&) {
      // Nothing of this file is written; the next one is still handled.
    }
  }
  if (notify) PostInstanceMessage(InstanceSocketPath(), WM_OPTIONS_CHANGED);
}

void SaveWindowState() {
  LogEvent("Saving main registry settings");
  try {
    const tSettings& s = Settings;
    IniFile ini(IniPath(ClientIniName));
    if (s.ShowLight) {
      ini.WriteBool("Misc", "ShowLight", true);
    } else {
      ini.DeleteKey("Misc", "ShowLight");
    }
    if (s.ShowBanner) {
      ini.WriteBool("Misc", "ShowBanner", true);
    } else {
      ini.DeleteKey("Misc", "ShowBanner");
    }
    if (s.Left != PositionUnset) ini.WriteInteger("Misc", "Left", s.Left);
    if (s.Top != PositionUnset) ini.WriteInteger("Misc", "Top", s.Top);
    ini.WriteInteger("Misc", "upRecTime", s.upRecTime);
    ini.WriteBool("Misc", "AutoConnect", s.AutoConnect);
    ini.WriteBool("Misc", "CheckForUpdate", s.CheckForUpdate);
    ini.WriteInteger("Misc", "UpdateCheck", s.UpdateCheck);
    ini.WriteBool("Misc", "AutostartSpeedFan", s.AutostartSpeedFan);
    ini.UpdateFile();
  } catch (const std::exception&) {
    // The window state is a convenience; losing it is not worth a trace.
  }
}

std::vector<std::string> OptionsProgramArguments(int page, bool debug, bool expert) {
  return {std::to_string(page), debug ? "D" : "-", expert ? "E" : "-"};
}

namespace {

bool StartProductProgram(const char* name, const std::vector<std::string>& args) {
  const std::string program = AppDir + name;
  if (!FileExists(program)) {
    LogEvent("Program not found: " + program);
    return false;
  }
  QStringList qargs;
  for (const std::string& a : args) qargs << QString::fromStdString(a);
  return QProcess::startDetached(QString::fromStdString(program), qargs,
                                 QString::fromStdString(AppDir));
}

}  // namespace

bool StartOptionsProgram(int page) {
  SaveWindowState();
  LogEvent("Starting options dialog");
  return StartProductProgram("kvoptions", OptionsProgramArguments(page, DebugMode(), ExpertMode));
}

bool StartSysInfoProgram() {
  LogEvent("Starting sysinfo dialog");
  return StartProductProgram("kvsysinfo", {"1"});
}

}  // namespace kv
