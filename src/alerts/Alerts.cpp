#include "alerts/Alerts.h"

#include <algorithm>
#include <set>

#include "core/EventLog.h"
#include "core/MetricFamily.h"
#include "core/Text.h"
#include "readvalue/AcquisitionPass.h"
#include "readvalue/Readings.h"
#include "readvalue/ReadingsJson.h"
#include "settings/Channels.h"
#include "settings/Settings.h"

namespace kv {

namespace {

// The T, V and F channels: one row per group, read by index (the record is packed).
struct tChannelGroup {
  const char* letter;
  const char* kind;  // in the exported limits: "temperature_high"
  tAlertQuantity quantity;
  int count;
  const tChannelCfg& (*cfg)(const tSettings&, int);
  int16_t (*value)(const tReadings&, int);
  int32_t tSettings::*margin;
};

const tChannelGroup ChannelGroups[] = {
    {"T", "temperature", tAlertQuantity::Temperature, TChannels,
     [](const tSettings& s, int i) -> const tChannelCfg& { return s.TCfg[i]; },
     [](const tReadings& r, int i) { return r.T[i]; }, &tSettings::marginT},
    {"V", "voltage", tAlertQuantity::Voltage, VChannels,
     [](const tSettings& s, int i) -> const tChannelCfg& { return s.VCfg[i]; },
     [](const tReadings& r, int i) { return r.V[i]; }, &tSettings::marginV},
    {"F", "fan", tAlertQuantity::Fan, FChannels,
     [](const tSettings& s, int i) -> const tChannelCfg& { return s.FCfg[i]; },
     [](const tReadings& r, int i) { return r.F[i]; }, &tSettings::marginF},
};

std::optional<int64_t> ChannelValue(const tChannelGroup& g, const tReadings& r, int i) {
  const int16_t v = g.value(r, i);
  if (v == NoValue16) return std::nullopt;
  // A negative fan figure is a coolant flow, not a speed: the RPM limits do not apply.
  if (g.quantity == tAlertQuantity::Fan && v < 0) return std::nullopt;
  return v;
}

std::optional<int64_t> BatteryPercent(const tReadingsState& current) {
  const tReadings& r = current.Readings;
  if (r.BatCap == NoValue32) return std::nullopt;
  if (current.BatRelative) return r.BatCap;
  if (r.BatFull <= 0) return std::nullopt;
  return (static_cast<int64_t>(r.BatCap) * 100 + r.BatFull / 2) / r.BatFull;
}

std::string DiskName(const tDiskSlot& slot) {
  const std::string label = Trim(slot.Label);
  if (!label.empty()) return label;
  return slot.Drive.substr(0, slot.Drive.find(' '));
}

}  // namespace

tAlertEvent MakeAlertEvent(bool started, const tActiveAlert& a, bool celsius) {
  const tAlertRule& r = a.rule;
  tAlertEvent e;
  e.started = started;
  e.alert = a;
  if (r.quantity == tAlertQuantity::StepFailures) {
    e.summary = started ? r.channel + " keeps failing" : r.channel + " works again";
    e.body = started ? "failed " + AlertValueText(r.quantity, r.passes, celsius) + " in a row" +
                           (a.detail.empty() ? "" : ": " + a.detail)
                     : "the last pass read it";
  } else {
    const std::string value = AlertValueText(r.quantity, a.value, celsius);
    const std::string limit = AlertValueText(r.quantity, r.limit, celsius);
    e.summary = started ? r.channel + (r.high ? " above " : " below ") + limit
                        : r.channel + " back to normal";
    e.body = started ? "now " + value : "now " + value + ", limit " + limit;
  }
  e.line = std::string(started ? "Alert: " : "Alert ended: ") + e.summary + " (" + e.body + ")";
  return e;
}

void tAlertEngine::Emit(bool started, const tState& s) {
  if (sink_) sink_(started, s.alert);
}

void tAlertEngine::Evaluate(const std::vector<tAlertCheck>& checks) {
  std::set<std::string> seen;
  for (const tAlertCheck& c : checks) {
    seen.insert(c.rule.id);
    tState& s = states_[c.rule.id];
    s.alert.rule = c.rule;
    if (c.inside) {
      s.beyond = 0;
      if (s.active) {
        s.active = false;
        Emit(false, s);
      }
      continue;
    }
    if (!c.value) continue;  // no reading: nothing moves
    const int64_t v = *c.value;
    const tAlertRule& r = c.rule;
    if (s.active) {
      s.alert.value = v;
      const bool back = r.high ? v <= r.limit - r.margin : v >= r.limit + r.margin;
      if (back) {
        s.active = false;
        s.beyond = 0;
        Emit(false, s);
      }
      continue;
    }
    const bool beyond = r.high ? v > r.limit : v < r.limit;
    s.beyond = beyond ? s.beyond + 1 : 0;
    if (!beyond) continue;
    s.alert.value = v;
    s.alert.detail = c.detail;
    if (s.beyond >= std::max(1, r.passes)) {
      s.active = true;
      Emit(true, s);
    }
  }
  // A rule that is gone (switched off, its drive removed) takes its alert with it.
  for (auto it = states_.begin(); it != states_.end();) {
    if (seen.count(it->first)) {
      ++it;
      continue;
    }
    if (it->second.active) {
      it->second.active = false;
      Emit(false, it->second);
    }
    it = states_.erase(it);
  }
}

std::vector<tActiveAlert> tAlertEngine::Active() const {
  std::vector<tActiveAlert> active;
  for (const auto& [id, s] : states_)
    if (s.active) active.push_back(s.alert);
  return active;
}

std::vector<tAlertCheck> CurrentAlertChecks(const tSettings& s, const tReadingsState& current,
                                            std::span<const tStepHealth> health) {
  const tReadings& r = current.Readings;
  std::vector<tAlertCheck> checks;
  const auto add = [&](std::string id, std::string channel, tAlertQuantity q, bool high,
                       int64_t limit, int64_t margin, std::optional<int64_t> value) {
    tAlertCheck c;
    c.rule = {std::move(id), std::move(channel), q, high, limit, margin, s.AlertPasses};
    c.value = value;
    checks.push_back(std::move(c));
    return &checks.back();
  };
  for (const tChannelGroup& g : ChannelGroups) {
    for (int i = 0; i < g.count; ++i) {
      const tChannelCfg& cfg = g.cfg(s, i);
      const std::string number = std::to_string(i + 1);
      if (cfg.AlertHigh != AlertOff)
        add("high" + std::string(g.letter) + number, cfg.Name, g.quantity, true, cfg.AlertHigh,
            s.*g.margin, ChannelValue(g, r, i));
      if (cfg.AlertLow != AlertOff)
        add("low" + std::string(g.letter) + number, cfg.Name, g.quantity, false, cfg.AlertLow,
            s.*g.margin, ChannelValue(g, r, i));
    }
  }
  for (int i = 0; i < DiskSlotCount; ++i) {
    const tDiskSlot& slot = s.DiskSlots[i];
    if (!slot.AlertOn || slot.Drive.empty()) continue;
    // A drive that was not found (or not yet scanned) has no size: no reading.
    add("alertDisk" + std::to_string(i + 1), DiskName(slot), tAlertQuantity::DiskFree, false,
        slot.AlertKB, s.marginDisk,
        slot.TotalKB > 0 ? std::optional<int64_t>(slot.FreeKB) : std::nullopt);
  }
  if (s.alertBat > 0) {
    tAlertCheck* c = add("alertBat", "Battery", tAlertQuantity::Battery, false, s.alertBat,
                         s.marginBat, BatteryPercent(current));
    c->inside = r.BatOnline == 1;  // on mains power the battery charges
  }
  if (s.alertStep > 0) {
    for (const tStepHealth& h : health) {
      // Beyond the limit is a failed run; the rule's passes are the failures in a row.
      tAlertCheck* c = add(std::string("alertStep.") + h.name, std::string("Step ") + h.name,
                           tAlertQuantity::StepFailures, true, 0, 0,
                           h.ran ? std::optional<int64_t>(h.ok ? 0 : 1) : std::nullopt);
      c->rule.passes = s.alertStep;
      c->detail = h.error;
    }
  }
  return checks;
}

tAlerts::tAlerts(const tSettings& settings, const tReadingsState& current, const tAcquisition& pass)
    : settings_(settings),
      current_(current),
      pass_(pass),
      engine_([this](bool started, const tActiveAlert& a) {
        events_.push_back(MakeAlertEvent(started, a, settings_.Celsius));
      }) {}

std::vector<tAlertCheck> tAlerts::Checks() const {
  return CurrentAlertChecks(settings_, current_, pass_.StepHealth());
}

std::vector<tAlertEvent> tAlerts::Evaluate() {
  events_.clear();
  try {
    engine_.Evaluate(Checks());
  } catch (const std::exception& e) {
    LogError("al0 ", e);
  }
  return std::move(events_);
}

std::string AlertMetrics(const std::vector<tActiveAlert>& active, const tSettings& settings) {
  tMetricFamily count("kelvara_alerts", "gauge", "Alerts active now.");
  count.Add(static_cast<double>(active.size()));
  tMetricFamily each("kelvara_alert_active", "gauge", "One series per active alert, by rule and channel.");
  for (const tActiveAlert& a : active) each.Add(1, {{"rule", a.rule.id}, {"channel", a.rule.channel}});
  return count.Text() + each.Text() + AlertLimitMetrics(settings);
}

std::string AlertLimitMetrics(const tSettings& s) {
  tMetricFamily limits("kelvara_alert_limit", "gauge",
                       "A configured alert limit, in the unit of the series it bounds (kind: what and which side).");
  for (const tChannelGroup& g : ChannelGroups) {
    const double divisor = g.quantity == tAlertQuantity::Fan ? 1 : 100;  // RPM, else hundredths
    for (int i = 0; i < g.count; ++i) {
      const tChannelCfg& cfg = g.cfg(s, i);
      const std::string channel = std::to_string(i + 1);
      if (cfg.AlertHigh != AlertOff)
        limits.Add(static_cast<double>(cfg.AlertHigh) / divisor, {{"kind", std::string(g.kind) + "_high"}, {"channel", channel}});
      if (cfg.AlertLow != AlertOff)
        limits.Add(static_cast<double>(cfg.AlertLow) / divisor, {{"kind", std::string(g.kind) + "_low"}, {"channel", channel}});
    }
  }
  for (int i = 0; i < DiskSlotCount; ++i) {
    const tDiskSlot& slot = s.DiskSlots[i];
    if (slot.AlertOn && !slot.Drive.empty())
      limits.Add(static_cast<double>(slot.AlertKB) * 1024, {{"kind", "disk_free_low"}, {"slot", std::to_string(i + 1)}});
  }
  if (s.alertBat > 0) limits.Add(s.alertBat / 100.0, {{"kind", "battery_low"}});
  return limits.Text();
}

std::string AlertsJson(const std::vector<tActiveAlert>& active) {
  std::string out = "[";
  for (const tActiveAlert& a : active) {
    if (out.size() > 1) out += ", ";
    out += "{\"rule\": " + JsonString(a.rule.id) + ", \"channel\": " + JsonString(a.rule.channel) +
           ", \"value\": " + std::to_string(a.value) + ", \"limit\": " + std::to_string(ShownLimit(a.rule)) + "}";
  }
  return out + "]";
}

std::string AlertTipLine(const std::vector<tActiveAlert>& active) {
  if (active.empty()) return "";
  if (active.size() == 1) return "Alert: " + active.front().rule.channel;
  return "Alerts: " + std::to_string(active.size());
}

}  // namespace kv
