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
#include "settings/Language.h"
#include "settings/Settings.h"

namespace kv {

namespace {

// One step of a fill: every occurrence of the placeholder replaced by the value, or left in
// place when the value is nullopt (a channel without a reading). An empty placeholder marks
// the environment step.
struct tPlaceholder {
  std::string name;
  std::function<std::optional<std::string>(const tDisplayData&, TDateTime)> value;
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

std::string DatePart(const tDisplayData& d, TDateTime time, bool date) {
  const tDateParts p = DecodeDateTime(DisplayTime(time, d.Settings.TimeInUTC));
  char buf[32];
  if (date) std::snprintf(buf, sizeof buf, "%04d%02d%02d", p.year, p.month, p.day);
  else std::snprintf(buf, sizeof buf, "%02d%02d%02d", p.hour, p.minute, p.second);
  return buf;
}

std::optional<std::string> Temperature(const tDisplayData& d, int i) {
  const int16_t t = d.Current.Readings.T[i];
  if (t == NoValue16) return std::nullopt;
  return FormatTemperature(t, d.Settings.Celsius);
}

std::optional<std::string> Fan(const tReadings& r, int i) {
  const int f = r.F[i];
  if (f == NoValue16) return std::nullopt;
  if (f < 0) return FormatPattern(-f / 100.0, 1) + " " + Texts()->LH;
  return std::to_string(f) + " " + Texts()->RPM;
}

std::optional<std::string> Volt(const tReadings& r, int i) {
  if (r.V[i] == NoValue16) return std::nullopt;
  return FormatPattern(r.V[i] / 100.0, 2) + " " + Texts()->Volt;
}

std::optional<std::string> Cpu(const tReadings& r, int i) {
  if (r.CPU[i] == NoValue16) return std::nullopt;
  return FormatPattern(r.CPU[i] / 100.0, 1) + " %";
}

using D = const tDisplayData&;

// %gpuNname%, %gpuNtemp%, %gpuNload%, %gpuNpower%, %gpuNmem%, %gpuNfan%, %gpuNclock%: GPU
// slot N's figures; kept while the slot or the figure is missing.
void AddGpuPlaceholders(std::vector<tPlaceholder>& steps) {
  using tFigure = std::optional<std::string> (*)(const tDisplayData&, const tGpu&);
  const std::pair<const char*, tFigure> figures[] = {
      {"name", [](D, const tGpu& g) -> std::optional<std::string> { return g.Name; }},
      {"temp", [](D d, const tGpu& g) -> std::optional<std::string> {
         if (g.Temp == NoValue32) return std::nullopt;
         return FormatTemperature(g.Temp, d.Settings.Celsius);
       }},
      {"load", [](D, const tGpu& g) -> std::optional<std::string> {
         if (g.Load == NoValue32) return std::nullopt;
         return FormatPattern(g.Load / 100.0, 1) + " %";
       }},
      {"power", [](D, const tGpu& g) -> std::optional<std::string> {
         if (g.Power == NoValue32) return std::nullopt;
         return FormatPattern(g.Power / 1000.0, 1) + " W";
       }},
      {"mem", [](D, const tGpu& g) -> std::optional<std::string> {
         if (g.MemUsed == NoValue32) return std::nullopt;
         return FormatKiB(g.MemUsed);
       }},
      {"fan", [](D, const tGpu& g) -> std::optional<std::string> {
         if (g.Fan == NoValue32) return std::nullopt;
         return std::to_string(g.Fan) + " " + (g.FanPercent ? std::string("%") : Texts()->RPM);
       }},
      {"clock", [](D, const tGpu& g) -> std::optional<std::string> {
         if (g.CoreClock == NoValue32) return std::nullopt;
         return std::to_string(g.CoreClock) + " MHz";
       }},
  };
  for (int i = 0; i < GpuSlots; ++i)
    for (const auto& entry : figures)
      steps.push_back({"%gpu" + std::to_string(i + 1) + entry.first + "%",
                       [i, value = entry.second](D d, TDateTime) -> std::optional<std::string> {
                         if (i >= static_cast<int>(d.Current.Gpus.size())) return std::nullopt;
                         return value(d, d.Current.Gpus[static_cast<size_t>(i)]);
                       }});
}

std::vector<tPlaceholder> MakeBasePlaceholders() {
  std::vector<tPlaceholder> steps = {
      {"%freq%", [](D d, TDateTime) {
         const int32_t freq = d.Current.Readings.Freq;
         return freq == NoValue32 ? std::string("???") : FormatPattern(freq / 1000.0, 2);
       }},
      {"%cpupower%", [](D d, TDateTime) {
         const int32_t mw = d.Current.CPUPower;
         return mw == NoValue32 ? std::string("???") : FormatPattern(mw / 1000.0, 1) + " W";
       }},
      {"%mem%", [](D d, TDateTime) { return FormatKiB(d.Current.MemTotal); }},
      {"%freemem%", [](D d, TDateTime) { return FormatKiB(d.Current.Readings.MemFree); }},
      {"%allocmem%", [](D d, TDateTime) { return FormatKiB(d.Current.Readings.MemUsed); }},
      {"%intread%", [](D d, TDateTime) { return Minutes(d.Settings.ReadTemp); }},
      {"%lighttime%", [](D d, TDateTime) { return Minutes(d.Settings.LightTime); }},
      {"%bannertime%", [](D d, TDateTime) { return Minutes(d.Settings.BannerTime); }},
      {"%userid%", [](D, TDateTime) { return UserId(); }},
      {"%hostid%", [](D, TDateTime) { return HostId(); }},
      {"%uptime%", [](D d, TDateTime) {
         const tReadingsState& c = d.Current;
         return UptimeText(c.UpDays, c.UpHours, c.UpMins, c.UpSecsPart);
       }},
      {"%date%", [](D d, TDateTime t) { return DatePart(d, t, true); }},
      {"%time%", [](D d, TDateTime t) { return DatePart(d, t, false); }},
      {"", nullptr},  // environment
  };
  for (int i = 0; i < TChannels; ++i) {
    const std::string n = std::to_string(i + 1) + "%";
    steps.push_back({"%t" + n, [i](D d, TDateTime) { return Temperature(d, i); }});
    steps.push_back({"%f" + n, [i](D d, TDateTime) { return Fan(d.Current.Readings, i); }});
    steps.push_back({"%v" + n, [i](D d, TDateTime) { return Volt(d.Current.Readings, i); }});
  }
  for (int i = 0; i < CPUChannels; ++i)
    steps.push_back({"%cpu" + std::to_string(i + 1) + "%", [i](D d, TDateTime) { return Cpu(d.Current.Readings, i); }});
  steps.push_back({"%allocmempage%", [](D d, TDateTime) { return FormatKiB(d.Current.Readings.PageUsed); }});
  steps.push_back({"%freemempage%", [](D d, TDateTime) { return FormatKiB(d.Current.Readings.PageFree); }});
  steps.push_back({"%mempage%", [](D d, TDateTime) { return FormatKiB(d.Current.PageTotal); }});
  steps.push_back({"%memcache%", [](D d, TDateTime) { return FormatKiB(d.Current.Readings.Cache); }});
  AddGpuPlaceholders(steps);
  return steps;
}

std::vector<tPlaceholder> MakeLightPlaceholders() {
  std::vector<tPlaceholder> steps = {{"%ip%", [](D, TDateTime) { return LocalAddressText(-1); }}};
  for (int n = 0; n <= 9; ++n)
    steps.push_back({"%ip" + std::to_string(n) + "%", [n](D, TDateTime) { return LocalAddressText(n); }});
  steps.push_back({"%uptimerecord%", [](D d, TDateTime) -> std::optional<std::string> {
                     const tSettings& s = d.Settings;
                     if (!s.ReadUpTime) return std::nullopt;
                     return UptimeText(s.UpRecDays, s.UpRecHours, s.UpRecMins, s.UpRecSecs);
                   }});
  return steps;
}

// Applies the steps in order to text, in place, so that a failure leaves what was filled so far.
// A value is asked for only when its placeholder occurs.
void ApplyPlaceholders(const tDisplayData& d, std::string& text, const std::vector<tPlaceholder>& steps,
                       TDateTime time) {
  for (const tPlaceholder& step : steps) {
    if (step.name.empty()) {
      text = ExpandEnvironment(text);
      continue;
    }
    if (LowerCase(text).find(step.name) == std::string::npos) continue;
    if (const std::optional<std::string> value = step.value(d, time)) text = ReplaceAllNoCase(text, step.name, *value);
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

std::string FillTemplate(const tDisplayData& d, const std::string& text, TDateTime time) {
  static const std::vector<tPlaceholder> steps = MakeBasePlaceholders();
  std::string filled = text;
  try {
    ApplyPlaceholders(d, filled, steps, time);
  } catch (const std::exception& e) {
    LogError("sa1 ", e);
  }
  return filled;
}

std::string FillLightTemplate(const tDisplayData& d, const std::string& text, TDateTime time) {
  static const std::vector<tPlaceholder> steps = MakeLightPlaceholders();
  std::string filled = FillTemplate(d, text, time);
  try {
    ApplyPlaceholders(d, filled, steps, time);
  } catch (const std::exception& e) {
    LogError("sa21 ", e);
  }
  return filled;
}

}  // namespace kv
