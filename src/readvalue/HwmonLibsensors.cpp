#include "readvalue/HwmonLibsensors.h"

#include <sensors/error.h>
#include <sensors/sensors.h>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>

#include "core/EventLog.h"
#include "readvalue/SourceFields.h"

namespace kv {

namespace {

constexpr const char* InitTag = "rv hw 1 ";
constexpr const char* ChipTag = "rv hw 2 ";

enum class tLibState { Closed, Open, Failed };
tLibState state = tLibState::Closed;

// libsensors prints configuration errors to stderr by default; they belong in the event log.
void LogParseError(const char* err, const char* file, int line) {
  LogEvent(std::string(InitTag) + (file ? file : "sensors config") + ":" + std::to_string(line) +
           ": " + (err ? err : ""));
}

int InitWithoutConfig() {
  std::unique_ptr<FILE, int (*)(FILE*)> empty(std::fopen("/dev/null", "r"), std::fclose);
  if (!empty) return -SENSORS_ERR_PARSE;
  return sensors_init(empty.get());
}

// Once per (re)initialisation; after a failure the next ReinitHwmon tries again.
bool Open() {
  if (state != tLibState::Closed) return state == tLibState::Open;
  sensors_parse_error_wfn = LogParseError;
  int err = sensors_init(nullptr);
  if (err != 0) {
    LogEvent(InitTag + std::string(sensors_strerror(err)));
    // A broken sensors3.conf or sensors.d file should cost its labels, not the sensors.
    if (err == -SENSORS_ERR_PARSE) {
      err = InitWithoutConfig();
      if (err != 0) LogEvent(InitTag + std::string(sensors_strerror(err)));
    }
  }
  state = err == 0 ? tLibState::Open : tLibState::Failed;
  return state == tLibState::Open;
}

std::string ChipName(const sensors_chip_name& chip) {
  char buffer[256];
  const int n = sensors_snprintf_chip_name(buffer, sizeof buffer, &chip);
  if (n < 0) throw std::runtime_error(sensors_strerror(n));
  return OutsideText(buffer);
}

std::string Label(const sensors_chip_name& chip, const sensors_feature& feature) {
  std::unique_ptr<char, void (*)(void*)> label(sensors_get_label(&chip, &feature), std::free);
  // Labels come from sysfs and the sensors configuration: text of other parties.
  return OutsideText(label ? std::string_view(label.get()) : std::string_view(feature.name));
}

struct tKindOf {
  sensors_feature_type feature;
  sensors_subfeature_type input;
  tHwmonKind kind;
};

const tKindOf Kinds[] = {
    {SENSORS_FEATURE_TEMP, SENSORS_SUBFEATURE_TEMP_INPUT, tHwmonKind::Temperature},
    {SENSORS_FEATURE_IN, SENSORS_SUBFEATURE_IN_INPUT, tHwmonKind::Voltage},
    {SENSORS_FEATURE_FAN, SENSORS_SUBFEATURE_FAN_INPUT, tHwmonKind::Fan},
};

const tKindOf* KindOf(const sensors_feature& feature) {
  for (const tKindOf& k : Kinds)
    if (k.feature == feature.type) return &k;
  return nullptr;
}

// Features without a readable input (only limits or alarms) can never deliver a value and are
// left out, so they take no channel.
void ReadChip(const sensors_chip_name& chip, std::vector<tHwmonSensor>& sensors) {
  const std::string chipName = ChipName(chip);
  int f = 0;
  while (const sensors_feature* feature = sensors_get_features(&chip, &f)) {
    const tKindOf* kind = KindOf(*feature);
    if (!kind) continue;
    const sensors_subfeature* input = sensors_get_subfeature(&chip, feature, kind->input);
    if (!input || !(input->flags & SENSORS_MODE_R)) continue;
    tHwmonSensor sensor{chipName, Label(chip, *feature), kind->kind,
                        std::numeric_limits<double>::quiet_NaN()};
    double value = 0;
    const int err = sensors_get_value(&chip, input->number, &value);
    if (err == 0)
      sensor.Value = value;
    else
      LogEvent(ChipTag + HwmonSensorName(sensor) + ": " + sensors_strerror(err));
    sensors.push_back(std::move(sensor));
  }
}

}  // namespace

std::vector<tHwmonSensor> ReadLibsensors() {
  std::vector<tHwmonSensor> sensors;
  if (!Open()) return sensors;
  int nr = 0;
  while (const sensors_chip_name* chip = sensors_get_detected_chips(nullptr, &nr)) {
    try {
      ReadChip(*chip, sensors);
    } catch (const std::exception& e) {
      LogError(ChipTag, e);
    }
  }
  return sensors;
}

void CloseHwmon() {
  if (state == tLibState::Open) sensors_cleanup();
  state = tLibState::Closed;
}

void ReinitHwmon(bool enabled) {
  CloseHwmon();
  if (enabled) Open();
}

}  // namespace kv
