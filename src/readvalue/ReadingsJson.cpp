#include "readvalue/ReadingsJson.h"

#include <QByteArray>
#include <QString>
#include <charconv>
#include <cstdio>
#include <sstream>

#include "readvalue/AcquisitionPass.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"
#include "settings/Settings.h"

namespace kv {

// JSON text must be UTF-8: a name that is not (from an old settings file, say) has its broken
// bytes replaced by U+FFFD rather than breaking the whole document.
std::string JsonString(const std::string& s) {
  const QByteArray utf8 = QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())).toUtf8();
  std::string out = "\"";
  for (const char c : utf8) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
          out += buf;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

namespace {

// The shortest text that reads back as exactly v (a pass's time is finite).
std::string JsonDouble(double v) {
  char buf[32];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

template <typename T, size_t N>
std::string JsonArray(const T (&a)[N]) {
  std::string out = "[";
  for (size_t i = 0; i < N; ++i) out += (i ? ", " : "") + std::to_string(a[i]);
  return out + "]";
}

template <typename Container, typename F>
std::string JsonList(const Container& items, F item) {
  std::string out = "[";
  bool first = true;
  for (const auto& i : items) {
    out += (first ? "" : ", ") + item(i);
    first = false;
  }
  return out + "]";
}

}  // namespace

std::string ReadingsJson(const tReadingsState& current, const tSettings& settings,
                         std::span<const tStepHealth> health, const std::vector<tJsonMember>& extra) {
  const tReadingsState& c = current;
  const tReadings& r = c.Readings;
  std::ostringstream j;
  j << "{\n";
  j << "  \"Time\": " << JsonDouble(r.Time) << ",\n";
  j << "  \"T\": " << JsonArray(r.T) << ",\n";
  j << "  \"V\": " << JsonArray(r.V) << ",\n";
  j << "  \"F\": " << JsonArray(r.F) << ",\n";
  j << "  \"CPU\": " << JsonArray(r.CPU) << ",\n";
  j << "  \"NetIn\": " << JsonArray(r.NetIn) << ",\n";
  j << "  \"NetOut\": " << JsonArray(r.NetOut) << ",\n";
  const std::pair<const char*, long long> fields[] = {
      {"MemUsed", r.MemUsed}, {"MemFree", r.MemFree}, {"PageUsed", r.PageUsed},
      {"PageFree", r.PageFree}, {"Cache", r.Cache}, {"Freq", r.Freq},
      {"BatCap", r.BatCap}, {"BatFull", r.BatFull}, {"BatOnline", r.BatOnline},
      {"UserSecs", c.ReadingsExtra.UserSecs},
      {"FreqMax", c.FreqMax}, {"MemTotal", c.MemTotal}, {"PageTotal", c.PageTotal},
      {"BatDesign", c.BatDesign}, {"UpSecs", c.UpSecs}, {"UpDays", c.UpDays}, {"UpHours", c.UpHours},
      {"UpMins", c.UpMins}, {"UpSecsPart", c.UpSecsPart}, {"CPUCount", c.CPUCount},
      {"PassCount", c.PassCount}, {"CPUPower", c.CPUPower},
  };
  for (const auto& [name, value] : fields) {
    if (std::string(name) == "UserSecs") j << "  \"Time2\": " << JsonDouble(c.ReadingsExtra.Time2) << ",\n";
    j << "  \"" << name << "\": " << value << ",\n";
  }
  j << "  \"BatRelative\": " << (c.BatRelative ? "true" : "false") << ",\n";
  j << "  \"NetMons\": " << JsonList(c.NetMons, [](const tNetMon& m) {
    return "{\"Description\": " + JsonString(m.Description) + ", \"Ip\": " + JsonString(m.Ip) +
           ", \"Mac\": " + JsonString(m.Mac) + ", \"LastChange\": " + std::to_string(m.LastChange) + "}";
  }) << ",\n";
  j << "  \"DiskMons\": " << JsonList(c.DiskMons, [](const tDiskMon& m) {
    return "{\"Root\": " + JsonString(m.Root) + ", \"Label\": " + JsonString(m.Label) + "}";
  }) << ",\n";
  j << "  \"GPUs\": " << JsonList(c.Gpus, [](const tGpu& g) {
    std::string o = "{\"Name\": " + JsonString(g.Name) + ", \"Driver\": " + JsonString(g.Driver) +
                    ", \"Chip\": " + JsonString(g.Chip) + ", \"FanPercent\": " + (g.FanPercent ? "true" : "false");
    const std::pair<const char*, int32_t> figures[] = {
        {"Temp", g.Temp}, {"Fan", g.Fan}, {"Power", g.Power}, {"PowerLimit", g.PowerLimit},
        {"Load", g.Load}, {"MemLoad", g.MemLoad}, {"MemUsed", g.MemUsed}, {"MemTotal", g.MemTotal},
        {"CoreClock", g.CoreClock}, {"MemClock", g.MemClock}};
    for (const auto& [name, value] : figures) o += std::string(", \"") + name + "\": " + std::to_string(value);
    return o + "}";
  }) << ",\n";
  auto names = [](const auto& cfgs) {
    return JsonList(cfgs, [](const auto& cfg) { return JsonString(cfg.Name); });
  };
  j << "  \"Names\": {\"T\": " << names(settings.TCfg) << ", \"V\": " << names(settings.VCfg) << ", \"F\": "
    << names(settings.FCfg) << ", \"CPU\": " << names(settings.CPUCfg) << ", \"Net\": " << names(settings.NetSlots) << "},\n";
  j << "  \"Steps\": " << JsonList(health, [](const tStepHealth& h) {
    return std::string("{\"name\": ") + JsonString(h.name) + ", \"ok\": " + (h.ok ? "true" : "false") +
           ", \"error\": " + JsonString(h.error) + ", \"us\": " + std::to_string(h.micros) + "}";
  });
  for (const tJsonMember& m : extra) j << ",\n  " << JsonString(m.name) << ": " << m.json;
  j << "\n}\n";
  return j.str();
}

}  // namespace kv
