#include "settings/Settings.h"

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

namespace {

// Every default of a single key: the table below states none of its own.
const tSettings Defaults{};

enum class tFile { Client, Display, Server };

// How a key's value is taken from the file and given back to it, beyond its type.
enum class tRule {
  None,
  Colour,             // outside 0 .. 0xFFFFFF: the default
  FileName,           // only the file-name part is kept
  Folder,             // empty or "." is SettingsDir; ends in "/"
  SearchedFolder,     // as Folder, but empty stays empty: the pass looks for the program's folder
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
  Presence,           // only whether the key exists counts; written 1 or deleted
  Moved,              // an older location wins once and is deleted when written
};

enum class tUse {
  ReadWrite,
  ReadOnly,   // never written by WriteSettings
  WriteOnly,  // not read: the state holds its default, which WriteSettings stores
};

using tField = std::variant<bool tSettings::*, int32_t tSettings::*, uint32_t tSettings::*,
                            double tSettings::*, std::string tSettings::*>;

struct tKey {
  tFile file;
  const char* section;
  const char* key;
  tField field;
  tRule rule = tRule::None;
  tUse use = tUse::ReadWrite;
  bool windowState = false;    // also written by SaveWindowState
  double low = 0, high = -1;   // a range the value is clamped to (in the state's unit)
  const char* oldSection = nullptr;  // older location (Moved, Password); null: same
  const char* oldKey = nullptr;

  tKey Window() const {
    tKey k = *this;
    k.windowState = true;
    return k;
  }
  tKey Within(double lowest, double highest) const {
    tKey k = *this;
    k.low = lowest;
    k.high = highest;
    return k;
  }
  bool Clamped() const { return high >= low; }
  const char* OldSection() const { return oldSection ? oldSection : section; }
  const char* OldKey() const { return oldKey ? oldKey : key; }
};

constexpr tFile C = tFile::Client;
constexpr tFile D = tFile::Display;
constexpr tFile S = tFile::Server;
constexpr tUse RO = tUse::ReadOnly;
constexpr tUse WO = tUse::WriteOnly;
constexpr tUse RW = tUse::ReadWrite;

using T = tSettings;
using R = tRule;

template <class V>
tKey K(tFile f, const char* sec, const char* key, V T::*field, tRule rule = R::None,
       tUse use = RW) {
  return {f, sec, key, field, rule, use};
}
template <class V>
tKey K(tFile f, tIniKey named, V T::*field, tRule rule = R::None, tUse use = RW) {
  return K(f, named.section, named.key, field, rule, use);
}
tKey Pass(const char* sec, const char* key, std::string T::*field, const char* oldKey) {
  tKey k = K(S, sec, key, field, R::Password);
  k.oldKey = oldKey;
  return k;
}
tKey MovedFrom(tKey k, const char* oldSection) {
  k.rule = R::Moved;
  k.oldSection = oldSection;
  return k;
}

// The main cycle's period: a tick within a second of the last pass neither samples nor reads,
// so shorter periods only spin; an hour still leaves eight samples in the 8-hour series.
constexpr double ReadTempLowest = 1000, ReadTempHighest = 3600000;
// Chart and banner spans in hours: a zero span divides by zero; a year is the longest history.
constexpr double SpanLowest = 1.0 / 60, SpanHighest = 366 * 24;

// Every single key, file by file in reading order. Per-channel keys are in ChannelKeys.
const std::vector<tKey> SingleKeys = {
    K(C, "Memory", "Page", &T::Page),
    K(C, "Memory", "visMem", &T::visMem),
    K(C, "Memory", "visCache", &T::visCache),
    K(C, "Memory", "MemAuto", &T::MemAuto),
    K(C, "Battery", "visBat", &T::visBat),
    K(C, "Temperatures", "TAutoStats", &T::TAutoStats),
    K(C, "Temperatures", "TAutoBanner", &T::TAutoBanner),
    K(C, "Fans", "FAuto", &T::FAuto),
    K(C, "Net", "NetAuto", &T::NetAuto),
    K(C, "Net", "NetLog", &T::NetLog),
    K(C, "Net", "NetSep", &T::NetSep),
    K(C, "Light", "Light", &T::Light, R::FileName),
    K(C, "Light", "Path", &T::LightPath),
    K(C, "Light", "SaveLight", &T::SaveLight),
    K(C, "Light", "UploadLight", &T::UploadLight),
    K(C, "Light", "LightTime", &T::LightTime, R::None, WO),
    K(C, "Light", "MiniLight", &T::MiniLight),
    // The light and banner windows store their own positions when they hide.
    K(C, "Light", "LightX", &T::LightX, R::Position, RO),
    K(C, "Light", "LightY", &T::LightY, R::Position, RO),
    K(C, "Banner", "Banner", &T::Banner, R::FileName),
    K(C, "Banner", "Path", &T::BannerPath),
    K(C, "Banner", "SaveBanner", &T::SaveBanner),
    K(C, "Banner", "UploadBanner", &T::UploadBanner),
    K(C, "Banner", "BannerTime", &T::BannerTime, R::None, WO),
    K(C, "Banner", "SpanBanner", &T::SpanBanner).Within(SpanLowest, SpanHighest),
    K(C, "Banner", "BannerX", &T::BannerX, R::Position, RO),
    K(C, "Banner", "BannerY", &T::BannerY, R::Position, RO),
    K(C, "Stats", "SpanStats", &T::SpanStats).Within(SpanLowest, SpanHighest),
    K(C, "PowerOff", "EmergencySuspend", &T::EmergencySuspend, R::IfSuspendAllowed),
    K(C, "PowerOff", "POBeep", &T::POBeep),
    K(C, "Misc", "upRecTime", &T::upRecTime, R::Seconds).Window(),
    K(C, "Misc", "UpdateCheck", &T::UpdateCheck, R::None, RO).Window(),
    K(C, "Misc", "UpdateServer", &T::UpdateServer, R::None, RO),
    K(C, "Misc", "AquaeroPath", &T::AquaeroPath, R::SearchedFolder, RO),
    K(C, "Misc", "BOINCPath", &T::BOINCPath, R::SearchedFolder, RO),
    K(C, "Misc", "SpeedFanParams", &T::SpeedFanParams, R::LeadingBlank, RO),
    K(C, "Misc", "LocalPath", &T::LocalPath, R::Folder),
    K(C, "Misc", "ReadTemp", &T::ReadTemp).Within(ReadTempLowest, ReadTempHighest),
    K(C, "Misc", "AutoConnect", &T::AutoConnect).Window(),
    K(C, "Misc", "ShowWarning", &T::ShowWarning),
    K(C, CheckForUpdateKey, &T::CheckForUpdate).Window(),
    K(C, "Misc", "CheckForUpdateSpeedFan", &T::CheckForUpdateSpeedFan),
    K(C, "Misc", "Mini", &T::Mini),
    K(C, LangFileKey, &T::LangFile),
    K(C, "Misc", "AutostartSpeedFan", &T::AutostartSpeedFan).Window(),
    K(C, "Misc", "AutostartHWM", &T::AutostartHWM, R::NotSpeedFan),
    // Their presence at start opens the windows; the app keeps the fields current.
    K(C, "Misc", "ShowLight", &T::ShowLight, R::Presence, RO).Window(),
    K(C, "Misc", "ShowBanner", &T::ShowBanner, R::Presence, RO).Window(),
    K(C, "Misc", "Left", &T::Left, R::Position).Window(),
    K(C, "Misc", "Top", &T::Top, R::Position).Window(),
    K(C, "Debug", "TimeStampMail", &T::TimeStampMail),
    K(C, "Debug", "IncludeStaticData", &T::IncludeStaticData),
    K(C, "Debug", "Debug", &T::Debug, R::UnlessDebugSwitch),
    K(C, "Debug", "SaveLog", &T::SaveLog),
    K(C, "Debug", "KeepMemoryLow", &T::KeepMemoryLow),
    K(C, "Debug", "AcceptZeroValue", &T::AcceptZeroValue, R::UnlessZeroSwitch),
    K(C, "Debug", "ReadCPUCooL", &T::ReadCPUCooL),
    K(C, "Debug", "ReadCPUID", &T::ReadCPUID),
    K(C, "Debug", "ReadVCool", &T::ReadVCool),
    K(C, "Debug", "ReadHMonitor", &T::ReadHMonitor),
    K(C, "Debug", "ReadSpeedFan", &T::ReadSpeedFan),
    K(C, "Debug", "ReadAtiTool", &T::ReadAtiTool),
    K(C, "Debug", "ReadRivaTuner", &T::ReadRivaTuner),
    K(C, "Debug", "ReadMBM5190", &T::ReadMBM5190),
    K(C, "Debug", "ReadMBM5107", &T::ReadMBM5107),
    K(C, "Debug", "ReadMBM509x", &T::ReadMBM509x),
    K(C, "Debug", "ReadMobileMeter", &T::ReadMobileMeter),
    K(C, "Debug", "ReadEverest", &T::ReadEverest),
    K(C, "Debug", "ReadATITrayTools", &T::ReadATITrayTools),
    K(C, "Debug", "ReadCoreTemp", &T::ReadCoreTemp),
    K(C, "Debug", "ReadAquaero", &T::ReadAquaero),
    K(C, "Debug", "ReadHwmon", &T::ReadHwmon),
    K(C, "Debug", "ReadGPU", &T::ReadGPU),
    K(C, "GPU", "visGPU1", &T::visGPU1),
    K(C, "GPU", "visGPU2", &T::visGPU2),
    K(C, "GPU", "visGPU3", &T::visGPU3),
    K(C, "GPU", "visGPU4", &T::visGPU4),
    K(C, "Debug", "ReadUDisks", &T::ReadUDisks),
    K(C, "Debug", "ReadRAPL", &T::ReadRAPL),
    K(C, "Debug", "ReadFreq", &T::ReadFreq),
    K(C, "Debug", "ReadCPU", &T::ReadCPU),
    K(C, "Debug", "ReadNet", &T::ReadNet),
    K(C, "Debug", "ReadDisk", &T::ReadDisk),
    K(C, "Debug", "ReadMem", &T::ReadMem),
    K(C, "Debug", "ReadUpTime", &T::ReadUpTime),
    K(C, "Debug", "ReadBat", &T::ReadBat),
    K(C, "Debug", "ReadSETI", &T::ReadSETI),
    K(C, "Debug", "ShowOfflineTime", &T::ShowOfflineTime),
    K(C, "Debug", "IgnoreNonsense", &T::IgnoreNonsense),
    K(C, "Debug", "TimeInUTC", &T::TimeInUTC),
    K(C, "Debug", "OnTopLBT", &T::OnTopLBT),
    K(C, "Debug", "DisplayDateTime", &T::DisplayDateTime),
    K(C, "Debug", "DisplayHint", &T::DisplayHint),
    K(C, "Debug", "Beta", &T::Beta),
    K(C, "Alerts", "AlertPasses", &T::AlertPasses).Within(1, 1000),
    K(C, "Alerts", "marginT", &T::marginT).Within(0, 10000),
    K(C, "Alerts", "marginV", &T::marginV).Within(0, 10000),
    K(C, "Alerts", "marginF", &T::marginF).Within(0, 30000),
    K(C, "Alerts", "marginDisk", &T::marginDisk).Within(0, INT32_MAX),
    K(C, "Alerts", "marginBat", &T::marginBat).Within(0, 100),
    K(C, "Alerts", "alertBat", &T::alertBat).Within(0, 100),
    K(C, "Alerts", "alertStep", &T::alertStep).Within(0, 100000),
    K(C, "Alerts", "AlertNotify", &T::AlertNotify),
    K(C, "Alerts", "AlertCommand", &T::AlertCommand),
    K(C, "Alerts", "AlertTimeout", &T::AlertTimeout).Within(1, 3600),
    K(C, "Alerts", "AlertMail", &T::AlertMail),

    K(D, "Temperatures", "Celsius", &T::Celsius),
    K(D, "Temperatures", "TMinStats", &T::TMinStats, R::Hundredths),
    K(D, "Temperatures", "TMaxStats", &T::TMaxStats, R::Hundredths),
    K(D, "Temperatures", "TStepStats", &T::TStepStats, R::None, RO),
    K(D, "Temperatures", "TMinBanner", &T::TMinBanner, R::Hundredths),
    K(D, "Temperatures", "TMaxBanner", &T::TMaxBanner, R::Hundredths),
    K(D, "Temperatures", "THeight", &T::THeight),
    K(D, "Fans", "FMin", &T::FMin),
    K(D, "Fans", "FMax", &T::FMax),
    K(D, "Fans", "FHeight", &T::FHeight),
    K(D, "CPUs", "visCPUFreq", &T::visCPUFreq),
    K(D, "CPUs", "colUser", &T::colUser, R::Colour),
    K(D, "CPUs", "visUser", &T::visUser),
    K(D, "CPUs", "VHeight", &T::VHeight),
    K(D, "CPUs", "CPUHeight", &T::CPUHeight),
    K(D, "Memory", "colMemPage", &T::colMemPage, R::Colour),
    K(D, "Memory", "colMem", &T::colMem, R::Colour),
    K(D, "Memory", "colMemCache", &T::colMemCache, R::Colour),
    K(D, "Memory", "MemFree", &T::MemFree),
    K(D, "Memory", "MemMin", &T::MemMin, R::MegaBytes),
    K(D, "Memory", "MemMax", &T::MemMax, R::MegaBytes),
    K(D, "Memory", "MemHeight", &T::MemHeight),
    K(D, "Battery", "colBat", &T::colBat, R::Colour),
    K(D, "Battery", "BatHeight", &T::BatHeight),
    K(D, "GPU", "GPUHeight", &T::GPUHeight),
    K(D, "GPU", "GPUPowerMax", &T::GPUPowerMax).Within(1, 100000),
    K(D, "Net", "NetMin", &T::NetMin, R::None, RO),
    K(D, "Net", "NetMax", &T::NetMax),
    MovedFrom(K(D, "Net", "NetHeight", &T::NetHeight), "Memory"),
    K(D, "Disk", "DisksFree", &T::DisksFree),
    K(D, "Disk", "DiskMin", &T::DiskMin),
    K(D, "Disk", "DiskMax", &T::DiskMax),
    K(D, "Misc", "ThermalZones", &T::ThermalZones),
    K(D, "Misc", "HTTPServerActive", &T::HTTPServerActive),
    K(D, "Misc", "HTTPServerPort", &T::HTTPServerPort),
    K(D, "Misc", "HTTPServerBind", &T::HTTPServerBind),
    K(D, "Misc", "ClickThrough", &T::ClickThrough, R::None, RO),
    K(D, "Misc", "HideOnClose", &T::HideOnClose),
    // Its default "before Windows 2000" has no Linux counterpart: false.
    K(D, "Misc", "QPCFix", &T::QPCFix),
    K(D, "Misc", "ForceACPI", &T::ForceACPI),
    K(D, "Misc", "cBack", &T::cBack, R::Colour),
    K(D, "Misc", "cBorder", &T::cBorder, R::Colour),
    K(D, "Misc", "cBorder2", &T::cBorder2, R::Colour),
    K(D, "Misc", "cInfo", &T::cInfo, R::Colour),
    K(D, "Misc", "cFreq", &T::cFreq, R::Colour),
    K(D, "Misc", "cScBack", &T::cScBack, R::Colour),
    K(D, "Misc", "cScBorder", &T::cScBorder, R::Colour),
    K(D, "Misc", "cScBorder2", &T::cScBorder2, R::Colour),
    K(D, "Misc", "cScGrid", &T::cScGrid, R::Colour),
    K(D, "Misc", "cScDesc", &T::cScDesc, R::Colour),
    K(D, "Misc", "LightAlpha", &T::LightAlpha),
    K(D, "Misc", "BitDisplay", &T::BitDisplay),
    K(D, "Misc", "OnTop", &T::OnTop),
    K(D, "Misc", "StatsWidth", &T::StatsWidth, R::Width),
    K(D, "Misc", "BannerWidth", &T::BannerWidth, R::Width),
    K(D, "Misc", "Alpha", &T::Alpha, R::Fraction),

    K(S, "FTP", "Host", &T::Host),
    K(S, "FTP", "User", &T::User),
    Pass("FTP", "FTPPassCrypt", &T::FTPPass, "Pass"),
    K(S, "FTP", "Port", &T::Port),
    K(S, "FTP", "Passive", &T::Passive),
    K(S, "FTP", "PassiveUseControlHost", &T::PassiveUseControlHost, R::None, RO),
    K(S, "FTP", "TryNATFastTrack", &T::TryNATFastTrack, R::None, RO),
    K(S, "FTP", "UseCCC", &T::UseCCC, R::None, RO),
    K(S, "FTP", "UseTLS", &T::UseTLS),
    K(S, "FTP", "VerifyTLS", &T::VerifyTLS, R::None, RO),
    K(S, "FTP", "UploadType", &T::UploadType),
    K(S, "FTP", "Path", &T::FTPPath),
    K(S, "SMTP", "SMTPHost", &T::SMTPHost),
    K(S, "SMTP", "SMTPUser", &T::SMTPUser),
    K(S, "SMTP", "SMTPPort", &T::SMTPPort),
    K(S, "SMTP", "SMTPAuth", &T::SMTPAuth),
    Pass("SMTP", "SMTPPassCrypt", &T::SMTPPass, "SMTPPass"),
    K(S, "SMTP", "SMTPTLS", &T::SMTPTLS),
    K(S, "SMTP", "MailFrom", &T::MailFrom),
    K(S, "SMTP", "MailTo", &T::MailTo),
    K(S, "Proxy", "ProxyHost", &T::ProxyHost),
    K(S, "Proxy", "ProxyUser", &T::ProxyUser),
    K(S, "Proxy", "ProxyPort", &T::ProxyPort),
    Pass("Proxy", "FTPProxyPassCrypt", &T::FTPProxyPass, "ProxyPass"),
    K(S, "Proxy", "ProxyType", &T::ProxyType),
    K(S, "Proxy", "HTTPProxyHost", &T::HTTPProxyHost),
    K(S, "Proxy", "HTTPProxyUser", &T::HTTPProxyUser),
    Pass("Proxy", "HTTPProxyPassCrypt", &T::HTTPProxyPass, "HTTPProxyPass"),
    K(S, "Proxy", "HTTPProxyPort", &T::HTTPProxyPort),
    K(S, "Proxy", "HTTPProxyAuth", &T::HTTPProxyAuth),
    K(S, "HTTP", "HTTPUser", &T::HTTPUser),
    Pass("HTTP", "HTTPPassCrypt", &T::HTTPPass, "HTTPPass"),
};

constexpr uint32_t MaxColour = 0xFFFFFF;

// Multiplies without overflow; absurd file values end at the int32 limits.
int32_t Scaled(int32_t v, int64_t factor) {
  return static_cast<int32_t>(std::clamp<int64_t>(v * factor, INT32_MIN, INT32_MAX));
}

// An int key's value as the file holds it.
int32_t StoredInt(const tKey& k, int32_t v) {
  if (k.rule == R::Hundredths) return v / 100;
  if (k.rule == R::MegaBytes) return v / 1024;
  return v;
}

std::string FolderValue(const std::string& stored, const std::string& settingsDir) {
  if (stored.empty() || stored == ".") return settingsDir;
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
void ReadKey(const tKey& k, IniFile& ini, tSettings& s, const tProcessFacts& process) {
  std::visit(
      [&](auto field) {
        using V = std::remove_reference_t<decltype(s.*field)>;
        const V& def = Defaults.*field;
        if (k.use == WO) {
          s.*field = def;
          return;
        }
        if constexpr (std::is_same_v<V, bool>) {
          switch (k.rule) {
            case R::NotSpeedFan:
              s.*field = ini.ReadBool(k.section, k.key, !s.AutostartSpeedFan);
              break;
            case R::IfSuspendAllowed:
              s.*field = s.SuspendAllowed && ini.ReadBool(k.section, k.key, def);
              break;
            case R::UnlessDebugSwitch:
              s.*field = process.DebugSwitch || ini.ReadBool(k.section, k.key, def);
              break;
            case R::UnlessZeroSwitch:
              s.*field = process.ZeroValueSwitch || ini.ReadBool(k.section, k.key, def);
              break;
            case R::Presence:
              s.*field = ini.ValueExists(k.section, k.key);
              break;
            default:
              s.*field = ini.ReadBool(k.section, k.key, def);
          }
        } else if constexpr (std::is_same_v<V, int32_t>) {
          int32_t v = ini.ReadInteger(k.section, k.key, StoredInt(k, def));
          if (k.rule == R::Moved) v = ini.ReadInteger(k.OldSection(), k.OldKey(), v);
          if (k.rule == R::Hundredths) v = Scaled(v, 100);
          if (k.rule == R::Width) v = std::clamp<int32_t>(static_cast<uint16_t>(v), 480, 3072);
          if (k.Clamped())
            v = std::clamp(v, static_cast<int32_t>(k.low), static_cast<int32_t>(k.high));
          s.*field = v;
        } else if constexpr (std::is_same_v<V, uint32_t>) {
          if (k.rule == R::Seconds) {
            s.*field = SecondsValue(ini.ReadString(k.section, k.key, std::to_string(def)));
          } else {
            const int32_t v = ini.ReadInteger(k.section, k.key, static_cast<int32_t>(def));
            s.*field = v < 0 || static_cast<uint32_t>(v) > MaxColour ? def
                                                                     : static_cast<uint32_t>(v);
          }
        } else if constexpr (std::is_same_v<V, double>) {
          double v = ini.ReadFloat(k.section, k.key, def);
          if (k.rule == R::Fraction && (v < 0 || v >= 1)) v = 0;
          if (k.Clamped()) v = std::clamp(v, k.low, k.high);
          s.*field = v;
        } else {
          std::string v;
          if (k.rule == R::Password) {
            if (ini.ValueExists(k.OldSection(), k.OldKey())) {
              v = ini.ReadString(k.OldSection(), k.OldKey(), "");
              ini.DeleteKey(k.OldSection(), k.OldKey());
              ini.WriteString(k.section, k.key, ScramblePassword(v));
            } else {
              v = UnscramblePassword(ini.ReadString(k.section, k.key, def));
            }
          } else {
            v = ini.ReadString(k.section, k.key, def);
          }
          if (k.rule == R::FileName) v = FileNamePart(v);
          if (k.rule == R::Folder || (k.rule == R::SearchedFolder && !v.empty()))
            v = FolderValue(v, process.SettingsDir);
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
          if (k.rule == R::Presence) {
            if (v) {
              ini.WriteBool(k.section, k.key, true);
            } else {
              ini.DeleteKey(k.section, k.key);
            }
            return;
          }
          ini.WriteBool(k.section, k.key, v);
        } else if constexpr (std::is_same_v<V, int32_t>) {
          if (k.rule == R::Position && v == PositionUnset) return;
          ini.WriteInteger(k.section, k.key, StoredInt(k, v));
        } else if constexpr (std::is_same_v<V, uint32_t>) {
          ini.WriteInteger(k.section, k.key, v);
        } else if constexpr (std::is_same_v<V, double>) {
          ini.WriteFloat(k.section, k.key, v);
        } else {
          ini.WriteString(k.section, k.key, k.rule == R::Password ? ScramblePassword(v) : v);
        }
      },
      k.field);
  if (k.rule == R::Moved) ini.DeleteKey(k.OldSection(), k.OldKey());
}

std::string Num(const char* prefix, int channel) { return prefix + std::to_string(channel); }

// Per-channel keys: one row per key family ("nameT" + 1 .. 10), read into the channel
// records with the record's current value as the default (SetDefaultChannelSettings runs first).
enum class tChannelRule {
  None,
  Level,    // int in the file, a visibility level in the record
  Flag,     // bool in the file, 0 or 1 in the record
  Colour,   // outside 0 .. 0xFFFFFF: 0
  Drive,    // the disk slot's drive text, split into root and label
  IfDrive,  // read only for disk slots with a drive
  Divisor,  // 0 reads as 1
  Limit,    // an alert limit: outside the 16-bit readings it is off
};

using tChannelField =
    std::variant<std::string* (*)(tSettings&, int), uint8_t* (*)(tSettings&, int), bool* (*)(tSettings&, int),
                 uint32_t* (*)(tSettings&, int), int64_t* (*)(tSettings&, int), double* (*)(tSettings&, int)>;

struct tChannelKey {
  tFile file;
  const char* section;
  const char* prefix;
  int count;
  tChannelField field;  // the record's field for a 0-based channel index
  tChannelRule rule;
  tUse use;
};

template <auto Records, auto Member>
tChannelKey Ch(tFile f, const char* sec, const char* prefix,
               tChannelRule rule = tChannelRule::None, tUse use = RW) {
  return {f, sec, prefix, static_cast<int>(std::tuple_size_v<std::remove_cvref_t<decltype(std::declval<tSettings&>().*Records)>>),
          +[](tSettings& s, int x) { return &((s.*Records)[x].*Member); }, rule, use};
}

using CR = tChannelRule;
using tCh = tChannelCfg;

const tChannelKey ChannelKeys[] = {
    Ch<&T::TCfg, &tCh::Name>(C, "Temperatures", "nameT"),
    Ch<&T::VCfg, &tCh::Name>(C, "Voltages", "nameV"),
    Ch<&T::FCfg, &tCh::Name>(C, "Fans", "nameF"),
    Ch<&T::TCfg, &tCh::Vis>(C, "Temperatures", "visT", CR::Level),
    Ch<&T::VCfg, &tCh::Vis>(C, "Voltages", "visV", CR::Level),
    Ch<&T::FCfg, &tCh::Vis>(C, "Fans", "visF", CR::Flag),
    Ch<&T::FCfg, &tFanCfg::Div>(C, "Fans", "divF", CR::Divisor, RO),
    Ch<&T::CPUCfg, &tCh::Name>(C, "CPUs", "nameCPU"),
    Ch<&T::CPUCfg, &tCh::Vis>(C, "CPUs", "visCPU", CR::Flag),
    Ch<&T::NetSlots, &tNetSlot::Name>(C, "Net", "nameNet"),
    Ch<&T::NetSlots, &tNetSlot::Mac>(C, "Net", "macNet"),
    Ch<&T::NetSlots, &tNetSlot::Vis>(C, "Net", "visNet"),
    Ch<&T::DiskSlots, &tDiskSlot::Drive>(C, "Disk", "driveDisk", CR::Drive),
    Ch<&T::DiskSlots, &tDiskSlot::Vis>(C, "Disk", "visDisk"),
    Ch<&T::DiskSlots, &tDiskSlot::AlertOn>(C, "Disk", "enalDisk", CR::IfDrive),
    Ch<&T::DiskSlots, &tDiskSlot::AlertKB>(C, "Disk", "alertDisk", CR::IfDrive),
    Ch<&T::TCfg, &tCh::AlertHigh>(C, "Alerts", "highT", CR::Limit),
    Ch<&T::TCfg, &tCh::AlertLow>(C, "Alerts", "lowT", CR::Limit),
    Ch<&T::VCfg, &tCh::AlertHigh>(C, "Alerts", "highV", CR::Limit),
    Ch<&T::VCfg, &tCh::AlertLow>(C, "Alerts", "lowV", CR::Limit),
    Ch<&T::FCfg, &tCh::AlertHigh>(C, "Alerts", "highF", CR::Limit),
    Ch<&T::FCfg, &tCh::AlertLow>(C, "Alerts", "lowF", CR::Limit),

    Ch<&T::TCfg, &tCh::Colour>(D, "Temperatures", "colT", CR::Colour),
    Ch<&T::TCfg, &tCh::Bold>(D, "Temperatures", "boldT"),
    Ch<&T::VCfg, &tCh::Colour>(D, "Voltages", "colV", CR::Colour),
    Ch<&T::VCfg, &tCh::Bold>(D, "Voltages", "boldV"),
    Ch<&T::FCfg, &tCh::Colour>(D, "Fans", "colF", CR::Colour),
    Ch<&T::FCfg, &tCh::Bold>(D, "Fans", "boldF"),
    Ch<&T::CPUCfg, &tCh::Colour>(D, "CPUs", "colCPU", CR::Colour),
    Ch<&T::CPUCfg, &tCh::Bold>(D, "CPUs", "boldCPU"),
    Ch<&T::NetSlots, &tNetSlot::ColourIn>(D, "Net", "colRNet", CR::Colour),
    Ch<&T::NetSlots, &tNetSlot::ColourOut>(D, "Net", "colSNet", CR::Colour),
    Ch<&T::DiskSlots, &tDiskSlot::Colour>(D, "Disk", "colDisk", CR::Colour),
};

void ReadChannelKey(const tChannelKey& k, int x, const IniFile& ini, tSettings& s) {
  if (k.rule == CR::IfDrive && s.DiskSlots[x].Drive.empty()) return;
  const std::string key = Num(k.prefix, x + 1);
  std::visit(
      [&](auto fieldOf) {
        auto* p = fieldOf(s, x);
        using V = std::remove_pointer_t<decltype(p)>;
        if constexpr (std::is_same_v<V, std::string>) {
          const std::string v = ini.ReadString(k.section, key, *p);
          if (k.rule == CR::Drive) {
            SetDiskDrive(s.DiskSlots[x], v);
          } else {
            *p = v;
          }
        } else if constexpr (std::is_same_v<V, uint8_t>) {
          if (k.rule == CR::Flag) {
            *p = ini.ReadBool(k.section, key, *p != 0) ? 1 : 0;
          } else {
            *p = static_cast<uint8_t>(ini.ReadInteger(k.section, key, *p));
          }
        } else if constexpr (std::is_same_v<V, bool>) {
          *p = ini.ReadBool(k.section, key, *p);
        } else if constexpr (std::is_same_v<V, uint32_t>) {
          const int32_t v = ini.ReadInteger(k.section, key, static_cast<int32_t>(*p));
          *p = v < 0 || static_cast<uint32_t>(v) > MaxColour ? 0 : static_cast<uint32_t>(v);
        } else if constexpr (std::is_same_v<V, int64_t>) {
          *p = ini.ReadInteger(k.section, key,
                               static_cast<int32_t>(std::clamp<int64_t>(*p, INT32_MIN, INT32_MAX)));
          if (k.rule == CR::Limit && (*p < INT16_MIN || *p >= AlertOff)) *p = AlertOff;
        } else {
          const double v = ini.ReadFloat(k.section, key, *p);
          *p = k.rule == CR::Divisor && v == 0 ? 1.0 : v;
        }
      },
      k.field);
}

void WriteChannelKey(const tChannelKey& k, int x, IniFile& ini, const tSettings& s) {
  const std::string key = Num(k.prefix, x + 1);
  std::visit(
      [&](auto fieldOf) {
        // The accessors serve reading too; here the field is only read.
        const auto* p = fieldOf(const_cast<tSettings&>(s), x);
        using V = std::remove_cv_t<std::remove_pointer_t<decltype(p)>>;
        if constexpr (std::is_same_v<V, std::string>) {
          ini.WriteString(k.section, key, *p);
        } else if constexpr (std::is_same_v<V, uint8_t>) {
          if (k.rule == CR::Flag) {
            ini.WriteBool(k.section, key, *p != 0);
          } else {
            ini.WriteInteger(k.section, key, *p);
          }
        } else if constexpr (std::is_same_v<V, bool>) {
          ini.WriteBool(k.section, key, *p);
        } else if constexpr (std::is_same_v<V, double>) {
          ini.WriteFloat(k.section, key, *p);
        } else {
          ini.WriteInteger(k.section, key, *p);
        }
      },
      k.field);
}

// Order maps of string entries: read only when the section exists, else the defaults.
struct tStringOrder {
  const char* section;
  tStringMap tSettings::*t;
  tStringMap tSettings::*f;
  tStringMap tSettings::*v;  // may be null
  bool lowerCase;
  void (*setDefault)(tSettings&);
};

const tStringOrder StringOrders[] = {
    {"OrderAquaero", &T::AquaeroOrderT, &T::AquaeroOrderF, &T::AquaeroOrderV, false, SetDefaultAquaeroOrder},
    {"OrderAtiTool", &T::AtiToolOrderT, &T::AtiToolOrderF, nullptr, true, SetDefaultAtiToolOrder},
    {"OrderRivaTuner", &T::RivaOrderT, &T::RivaOrderF, nullptr, true, SetDefaultRivaOrder},
    {"OrderATITrayTools", &T::ATTOrderT, &T::ATTOrderF, nullptr, true, SetDefaultATTOrder},
    {"OrderHwmon", &T::HwmonOrderT, &T::HwmonOrderF, &T::HwmonOrderV, false, SetDefaultHwmonOrder},
    {"OrderAIDA", &T::AIDAOrderT, &T::AIDAOrderF, &T::AIDAOrderV, false, SetDefaultAIDAOrder},
};

// Order maps of sensor numbers: 1-based in the file, 0-based in the map; outside 1 .. limit
// gives the default, sensor i for channel i or, reversed, sensor 11 - i.
struct tIndexOrder {
  const char* section;
  const char* letter;
  tIndexMap tSettings::*map;
  int limit;
  bool reversed;
};

const tIndexOrder IndexOrders[] = {
    {"OrderMBM5190", "T", &T::MBMOrderT, 100, false},
    {"OrderSpeedFan", "T", &T::SFOrderT, 32, true},
    {"OrderSpeedFan", "F", &T::SFOrderF, 32, true},
    {"OrderSpeedFan", "V", &T::SFOrderV, 32, true},
};

void ReadOrders(const IniFile& ini, tSettings& s) {
  for (const tStringOrder& order : StringOrders) {
    order.setDefault(s);
    if (!ini.SectionExists(order.section)) continue;
    const std::pair<const char*, tStringMap tSettings::*> maps[] = {{"T", order.t}, {"F", order.f},
                                                                    {"V", order.v}};
    for (const auto& [letter, map] : maps) {
      if (!map) continue;
      for (int i = 1; i <= TempChannels; ++i) {
        std::string& entry = (s.*map)[ChannelIndex(i)];
        entry = ini.ReadString(order.section, Num(letter, i), entry);
        if (order.lowerCase) entry = LowerCase(entry);
      }
    }
  }
  for (const tIndexOrder& order : IndexOrders) {
    for (int i = 1; i <= TempChannels; ++i) {
      const int def = order.reversed ? TempChannels - i : i - 1;
      const int32_t v = ini.ReadInteger(order.section, Num(order.letter, i), def + 1);
      (s.*order.map)[ChannelIndex(i)] =
          static_cast<uint8_t>(v >= 1 && v <= order.limit ? v - 1 : def);
    }
  }
}

void ReadChannels(tFile file, const IniFile& ini, tSettings& s) {
  for (const tChannelKey& k : ChannelKeys)
    if (k.file == file)
      for (int x = 0; x < k.count; ++x) ReadChannelKey(k, x, ini, s);
}

void WriteChannels(tFile file, IniFile& ini, const tSettings& s) {
  for (const tChannelKey& k : ChannelKeys)
    if (k.file == file && k.use != RO)
      for (int x = 0; x < k.count; ++x) WriteChannelKey(k, x, ini, s);
}

void ReadSingleKeys(tFile file, IniFile& ini, tSettings& s, const tProcessFacts& process) {
  for (const tKey& k : SingleKeys)
    if (k.file == file) ReadKey(k, ini, s, process);
}

void WriteSingleKeys(tFile file, IniFile& ini, const tSettings& s) {
  for (const tKey& k : SingleKeys)
    if (k.file == file && k.use != RO) WriteKey(k, ini, s);
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
    s.MemMin = Defaults.MemMin / 1024;
    s.MemMax = Defaults.MemMax / 1024;
  }
  s.MemMin = Scaled(s.MemMin, 1024);
  s.MemMax = Scaled(s.MemMax, 1024);
}

}  // namespace

void ReadSettings(tSettings& s, const tProcessFacts& process, const tPowerQuery& powerAllowed, tSettingsLoad load) {
  const auto iniPath = [&process](const char* name) { return process.SettingsDir + name; };
  try {
    s.HibernateAllowed = s.SuspendAllowed = false;
    if (powerAllowed) {
      const tPowerAllowed allowed = powerAllowed();
      s.HibernateAllowed = allowed.hibernate;
      s.SuspendAllowed = allowed.suspend;
    }
    s.RunningAsService = false;
    s.RunningAsService = UpperCase(UserName()) == "SYSTEM";
  } catch (const std::exception& e) {
    LogError("rr1 ", e);
  }

  // Channel defaults first, so that a file broken early still leaves sound channels.
  SetDefaultChannelSettings(s);

  try {
    IniFile client(iniPath(ClientIniName));
    ReadOrders(client, s);
    ReadChannels(tFile::Client, client, s);
    ReadSingleKeys(tFile::Client, client, s, process);
    SplitUptimeRecord(s);
  } catch (const std::exception& e) {
    LogError("rr2 ", e);
  }

  s.colUser = Defaults.colUser;
  try {
    IniFile display(iniPath(DisplayIniName));
    ReadChannels(tFile::Display, display, s);
    ReadSingleKeys(tFile::Display, display, s, process);
    FixMemoryRange(s);
  } catch (const std::exception& e) {
    LogError("rr3 ", e);
  }
  s.FontArial = Defaults.FontArial;
  s.FontCourier = Defaults.FontCourier;
  s.FontSmall = Defaults.FontSmall;

  try {
    IniFile server(iniPath(ServerIniName));
    ReadSingleKeys(tFile::Server, server, s, process);
    // Written back so that converted passwords are stored scrambled; readable only by the user.
    if (load == tSettingsLoad::StoreConverted && !server.UpdateFile(0600))
      throw std::runtime_error("cannot write " + server.Path());
  } catch (const std::exception& e) {
    LogError("rr4 ", e);
  }
  SetProtocolPasswords(s.FTPPass, s.FTPProxyPass);

  s.GermanTexts = s.LangFile.find("Deutsch") != std::string::npos;
  SetDebugMode(s.Debug);
}

void WriteSettings(const tSettings& s, const std::string& settingsDir, bool notify) {
  struct tTarget {
    tFile file;
    const char* name;
    unsigned mode;
  };
  const tTarget targets[] = {
      {tFile::Client, ClientIniName, 0644},
      {tFile::Display, DisplayIniName, 0644},
      {tFile::Server, ServerIniName, 0600},
  };
  for (const tTarget& t : targets) {
    try {
      IniFile ini(settingsDir + t.name);
      WriteChannels(t.file, ini, s);
      WriteSingleKeys(t.file, ini, s);
      ini.UpdateFile(t.mode);  // a failed write loses the changes; the old file stays whole
    } catch (const std::exception&) {
      // Nothing of this file is written; the next one is still handled.
    }
  }
  if (notify) PostInstanceMessage(InstanceSocketPath(), WM_OPTIONS_CHANGED);
}

void SaveWindowState(const tSettings& s, const std::string& settingsDir) {
  LogEvent("Saving main registry settings");
  try {
    IniFile ini(settingsDir + ClientIniName);
    for (const tKey& k : SingleKeys)
      if (k.windowState) WriteKey(k, ini, s);
    ini.UpdateFile();
  } catch (const std::exception&) {
    // The window state is a convenience; losing it is not worth a trace.
  }
}

std::vector<tSettingsKeyInfo> SettingsKeyList() {
  const auto fileName = [](tFile f) {
    return f == tFile::Client ? ClientIniName : f == tFile::Display ? DisplayIniName : ServerIniName;
  };
  std::vector<tSettingsKeyInfo> keys;
  for (const tFile file : {tFile::Client, tFile::Display, tFile::Server}) {
    for (const tChannelKey& k : ChannelKeys)
      if (k.file == file)
        for (int x = 0; x < k.count; ++x)
          keys.push_back({fileName(file), k.section, Num(k.prefix, x + 1), k.use != RO, false});
    for (const tKey& k : SingleKeys)
      if (k.file == file) {
        tSettingsKeyInfo info{fileName(file), k.section, k.key, k.use != RO, k.windowState};
        if (k.Clamped()) {
          info.low = k.low;
          info.high = k.high;
        } else if (k.rule == R::Width) {
          info.low = 480;
          info.high = 3072;
        }
        keys.push_back(info);
      }
  }
  return keys;
}

IniFile StoredSettings(const tSettings& s, const std::string& fileName) {
  const tFile file = fileName == ServerIniName    ? tFile::Server
                     : fileName == DisplayIniName ? tFile::Display
                                                  : tFile::Client;
  IniFile ini = IniFile::FromText("");
  for (const tChannelKey& k : ChannelKeys)
    if (k.file == file)
      for (int x = 0; x < k.count; ++x) WriteChannelKey(k, x, ini, s);
  for (const tKey& k : SingleKeys)
    if (k.file == file) WriteKey(k, ini, s);
  return ini;
}

}  // namespace kv
