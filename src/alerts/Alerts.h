#pragma once
// Alerts on the readings: high and low limits of the T, V and F channels, the disk slots'
// free-space alerts, a low battery and a pass step that keeps failing. The rules come from the
// settings; the evaluation runs on the main thread after every pass.
//
// An alert starts after AlertPasses consecutive passes beyond its limit and ends at the first
// pass that is the margin back inside it, so a value hovering at the line does not flap. A
// no-value marker neither counts toward a start nor ends an alert.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "alerts/AlertUnits.h"
#include "readvalue/AcquisitionPass.h"
#include "readvalue/Readings.h"

namespace kv {

struct tSettings;

struct tAlertRule {
  std::string id;       // the rule's key: "highT1", "lowF3", "alertDisk2", "alertBat", "alertStep.Net"
  std::string channel;  // what the user calls it: the channel name, the drive, "Battery", the step
  tAlertQuantity quantity;
  bool high = true;     // beyond means above the limit (else below it)
  int64_t limit = 0;
  int64_t margin = 0;   // how far back inside the limit a value must come to end the alert
  int passes = 1;       // consecutive passes beyond the limit before the alert starts
};

// The limit as the user reads it: a failing step's is its passes in a row.
inline int64_t ShownLimit(const tAlertRule& r) {
  return r.quantity == tAlertQuantity::StepFailures ? r.passes : r.limit;
}

// One rule's look at the current pass. value empty: no reading (a no-value marker).
struct tAlertCheck {
  tAlertRule rule;
  std::optional<int64_t> value;
  bool inside = false;  // the condition is gone whatever the value says (battery back on mains)
  std::string detail;
};

struct tActiveAlert {
  tAlertRule rule;
  int64_t value = 0;   // the latest reading beyond (or not yet back inside) the limit
  std::string detail;  // a failing step's error text
};

struct tAlertEvent {
  bool started = true;  // false: the alert ended
  tActiveAlert alert;
  std::string summary;  // "CPU above its limit"
  std::string body;     // "82.5 °C, limit 80 °C"
  std::string line;     // the whole event on one line, for the log and the status line
};

// What the user reads when an alert starts or ends (temperatures in °F unless celsius).
tAlertEvent MakeAlertEvent(bool started, const tActiveAlert& alert, bool celsius);

class tAlertEngine {
 public:
  using tSink = std::function<void(bool started, const tActiveAlert& alert)>;
  explicit tAlertEngine(tSink sink = {}) : sink_(std::move(sink)) {}

  // One pass: every check moves its rule's state; a rule without a check (switched off since)
  // ends its alert with its last value.
  void Evaluate(const std::vector<tAlertCheck>& checks);
  // The active alerts, by rule id.
  std::vector<tActiveAlert> Active() const;
  // Forgets every state without any event.
  void Reset() { states_.clear(); }

 private:
  struct tState {
    tActiveAlert alert;
    int beyond = 0;  // consecutive passes beyond the limit so far
    bool active = false;
  };
  void Emit(bool started, const tState& s);

  tSink sink_;
  std::map<std::string, tState> states_;
};

// The checks of the settings, readings table and step health. A step that failed in the last
// pass is beyond its limit, so alertStep counts as the rule's passes.
std::vector<tAlertCheck> CurrentAlertChecks(const tSettings& settings, const tReadingsState& current,
                                            std::span<const tStepHealth> health);

// The alerts of one monitor: its rules over its readings and pass. Evaluate runs after each
// pass and hands back what started or ended; the caller acts on it (tAlertActions) or not
// (kvsysinfo).
class tAlerts {
 public:
  tAlerts(const tSettings& settings, const tReadingsState& current, const tAcquisition& pass);
  std::vector<tAlertEvent> Evaluate();
  std::vector<tActiveAlert> Active() const { return engine_.Active(); }
  // Every rule's look at the current readings and pass.
  std::vector<tAlertCheck> Checks() const;
  void Reset() { engine_.Reset(); }

 private:
  const tSettings& settings_;
  const tReadingsState& current_;
  const tAcquisition& pass_;
  std::vector<tAlertEvent> events_;  // of the evaluation under way
  tAlertEngine engine_;
};

// The active alerts in the metrics exposition format: an "alerts" gauge with their number, one
// series per alert labelled with its rule and channel, and the limits of AlertLimitMetrics.
std::string AlertMetrics(const std::vector<tActiveAlert>& active, const tSettings& settings);
// The configured limits as kelvara_alert_limit{kind, channel or slot}, in the units of the series
// they bound (degrees, volts, RPM, bytes free, a charge ratio), so that a scraper's rules can
// compare a reading with the limit this monitor was given.
std::string AlertLimitMetrics(const tSettings& settings);
// The active alerts as a JSON array, for kvsysinfo -json and the HTTP server's readings.
std::string AlertsJson(const std::vector<tActiveAlert>& active);
// A short line for the tray tip; empty without alerts.
std::string AlertTipLine(const std::vector<tActiveAlert>& active);

}  // namespace kv
