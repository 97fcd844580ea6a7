#include "displays/Placeholders.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <stdexcept>
#include <vector>

#include "core/EventLog.h"
#include "core/Text.h"
#include "displays/Formatting.h"
#include "platform/System.h"
#include "readvalue/Readings.h"
#include "settings/Language.h"
#include "settings/Settings.h"

namespace kv {

namespace {

// One step of a fill: every occurrence of the placeholder replaced by the value, or left in
// place when the value is nullopt (a channel without a reading). An empty placeholder marks
// the environment step.
struct tPlaceholder {
  std::string name;
  std::function<std::optional<std::string>(TDateTime)> value;
};

std::string Minutes(int ms) { return FormatPattern(ms / 60000.0, 1) + " " + Texts()->Minutes; }

std::string UserId() {
  try {
    return UserName();
  } catch (const std::exception& e) {
    LogError("gcu1 ", e);
    return {};
  }
}

std::string HostId() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0)
    throw std::runtime_error(std::string("host name unknown: ") + std::strerror(errno));
  return name;
}

std::string DatePart(TDateTime time, bool date) {
  const tDateParts p = DecodeDateTime(DisplayTime(time, Settings.TimeInUTC));
  char buf[32];
  if (date) std::snprintf(buf, sizeof buf, "%04d%02d%02d", p.year, p.month, p.day);
  else std::snprintf(buf, sizeof buf, "%02d%02d%02d", p.hour, p.minute, p.second);
  return buf;
}

std::optional<std::string> Temperature(int i) {
  if (Readings.T[i] == NoValue16) return std::nullopt;
  return FormatTemperature(Readings.T[i]);
}

std::optional<std::string> Fan(int i) {
  const int f = Readings.F[i];
  if (f == NoValue16) return std::nullopt;
  if (f < 0) return FormatPattern(-f / 100.0, 1) + " " + Texts()->LH;
  return std::to_string(f) + " " + Texts()->RPM;
}

std::optional<std::string> Volt(int i) {
  if (Readings.V[i] == NoValue16) return std::nullopt;
  return FormatPattern(Readings.V[i] / 100.0, 2) + " " + Texts()->Volt;
}

std::optional<std::string> Cpu(int i) {
  if (Readings.CPU[i] == NoValue16) return std::nullopt;
  return FormatPattern(Readings.CPU[i] / 100.0, 1) + " %";
}

std::vector<tPlaceholder> MakeBasePlaceholders() {
  std::vector<tPlaceholder> steps = {
      {"%freq%", [](TDateTime) {
         return Readings.Freq == NoValue32 ? std::string("???") : FormatPattern(Readings.Freq / 1000.0, 2);
       }},
      {"%mem%", [](TDateTime) { return FormatKiB(MemTotal); }},
      {"%freemem%", [](TDateTime) { return FormatKiB(Readings.MemFree); }},
      {"%allocmem%", [](TDateTime) { return FormatKiB(Readings.MemUsed); }},
      {"%intread%", [](TDateTime) { return Minutes(Settings.ReadTemp); }},
      {"%lighttime%", [](TDateTime) { return Minutes(Settings.LightTime); }},
      {"%bannertime%", [](TDateTime) { return Minutes(Settings.BannerTime); }},
      {"%userid%", [](TDateTime) { return UserId(); }},
      {"%hostid%", [](TDateTime) { return HostId(); }},
      {"%uptime%", [](TDateTime) { return UptimeText(UpDays, UpHours, UpMins, UpSecsPart); }},
      {"%date%", [](TDateTime t) { return DatePart(t, true); }},
      {"%time%", [](TDateTime t) { return DatePart(t, false); }},
      {"", nullptr},  // environment
  };
  for (int i = 0; i < TChannels; ++i) {
    const std::string n = std::to_string(i + 1) + "%";
    steps.push_back({"%t" + n, [i](TDateTime) { return Temperature(i); }});
    steps.push_back({"%f" + n, [i](TDateTime) { return Fan(i); }});
    steps.push_back({"%v" + n, [i](TDateTime) { return Volt(i); }});
  }
  for (int i = 0; i < CPUChannels; ++i)
    steps.push_back({"%cpu" + std::to_string(i + 1) + "%", [i](TDateTime) { return Cpu(i); }});
  steps.push_back({"%allocmempage%", [](TDateTime) { return FormatKiB(Readings.PageUsed); }});
  steps.push_back({"%freemempage%", [](TDateTime) { return FormatKiB(Readings.PageFree); }});
  steps.push_back({"%mempage%", [](TDateTime) { return FormatKiB(PageTotal); }});
  steps.push_back({"%memcache%", [](TDateTime) { return FormatKiB(Readings.Cache); }});
  return steps;
}

std::vector<tPlaceholder> MakeLightPlaceholders() {
  std::vector<tPlaceholder> steps = {{"%ip%", [](TDateTime) { return LocalAddressText(-1); }}};
  for (int n = 0; n <= 9; ++n)
    steps.push_back({"%ip" + std::to_string(n) + "%", [n](TDateTime) { return LocalAddressText(n); }});
  steps.push_back({"%uptimerecord%", [](TDateTime) -> std::optional<std::string> {
                     if (!Settings.ReadUpTime) return std::nullopt;
                     const tSettings& s = Settings;
                     return UptimeText(s.UpRecDays, s.UpRecHours, s.UpRecMins, s.UpRecSecs);
                   }});
  return steps;
}

// Applies the steps in order to text, in place, so that a failure leaves what was filled so far.
// A value is asked for only when its placeholder occurs.
void ApplyPlaceholders(std::string& text, const std::vector<tPlaceholder>& steps, TDateTime time) {
  for (const tPlaceholder& step : steps) {
    if (step.name.empty()) {
      text = ExpandEnvironment(text);
      continue;
    }
    if (LowerCase(text).find(step.name) == std::string::npos) continue;
    if (const std::optional<std::string> value = step.value(time)) text = ReplaceAllNoCase(text, step.name, *value);
  }
}

std::vector<std::string> LocalAddresses() {
  std::vector<std::string> addresses;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) throw std::runtime_error(std::string("getifaddrs: ") + std::strerror(errno));
  for (const ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET) continue;
    if (!(a->ifa_flags & IFF_UP) || (a->ifa_flags & IFF_LOOPBACK)) continue;
    char text[INET_ADDRSTRLEN] = {};
    const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
    if (::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) != nullptr) addresses.emplace_back(text);
  }
  ::freeifaddrs(list);
  return addresses;
}

}  // namespace

std::string ReplaceAllNoCase(const std::string& text, const std::string& pattern, const std::string& replacement,
                             size_t limit) {
  if (pattern.empty()) return text;
  const std::string lower = LowerCase(text);
  const std::string lowerPattern = LowerCase(pattern);
  std::string out;
  size_t from = 0;
  for (size_t at = lower.find(lowerPattern); at != std::string::npos; at = lower.find(lowerPattern, from)) {
    if (limit != std::string::npos && out.size() + (at - from) + replacement.size() > limit) break;
    out.append(text, from, at - from).append(replacement);
    from = at + pattern.size();
  }
  out.append(text, from, std::string::npos);
  if (out.size() > limit) {
    size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;  // not inside a character
    out.resize(cut);
  }
  return out;
}

std::string ExpandEnvironment(std::string text) {
  for (int round = 0; round < EnvironmentRounds && text.size() < EnvironmentTextLimit; ++round) {
    const size_t start = text.find("%env");
    if (start == std::string::npos) break;
    const size_t end = text.find('%', start + 4);
    if (end == std::string::npos) break;
    const std::string name = text.substr(start + 4, end - start - 4);
    const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
    text = ReplaceAllNoCase(text, "%env" + name + "%", value ? value : "", EnvironmentTextLimit);
  }
  return text;
}

std::string LocalAddressText(int index) {
  const std::vector<std::string> addresses = LocalAddresses();
  if (index >= 0) return index < static_cast<int>(addresses.size()) ? addresses[index] : std::string();
  std::string joined;
  for (const std::string& a : addresses) joined += (joined.empty() ? "" : ", ") + a;
  return joined;
}

std::string FillTemplate(const std::string& text, TDateTime time) {
  static const std::vector<tPlaceholder> steps = MakeBasePlaceholders();
  std::string filled = text;
  try {
    ApplyPlaceholders(filled, steps, time);
  } catch (const std::exception& e) {
    LogError("sa1 ", e);
  }
  return filled;
}

std::string FillLightTemplate(const std::string& text, TDateTime time) {
  static const std::vector<tPlaceholder> steps = MakeLightPlaceholders();
  std::string filled = FillTemplate(text, time);
  try {
    ApplyPlaceholders(filled, steps, time);
  } catch (const std::exception& e) {
    LogError("sa21 ", e);
  }
  return filled;
}

}  // namespace kv
