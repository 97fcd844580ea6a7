#pragma once
// What an alert compares and how its figures read for the user. Limits are stored in the
// readings' own integer units; the user sees and enters them in °C or °F (by Celsius), volts,
// RPM, GiB and percent.
#include <cstdint>
#include <string>

namespace kv {

enum class tAlertQuantity {
  Temperature,   // hundredths of a degree Celsius
  Voltage,       // hundredths of a volt
  Fan,           // RPM
  DiskFree,      // KiB
  Battery,       // percent
  StepFailures,  // passes in a row
};

// A limit in the unit the user sees (°F for temperatures unless celsius), and back (rounded to
// the stored unit).
double LimitToUser(tAlertQuantity q, int64_t stored, bool celsius);
int64_t LimitFromUser(tAlertQuantity q, double user, bool celsius);
// A margin is a difference: a Fahrenheit margin has no offset.
double MarginToUser(tAlertQuantity q, int64_t stored, bool celsius);
int64_t MarginFromUser(tAlertQuantity q, double user, bool celsius);
// "82.5 °C", "11.4 V", "1200 RPM", "9.5 GiB", "7 %", "3 passes".
std::string AlertValueText(tAlertQuantity q, int64_t stored, bool celsius);

}  // namespace kv
