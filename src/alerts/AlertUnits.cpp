#include "alerts/AlertUnits.h"

#include <cmath>

#include "displays/Formatting.h"
#include "readvalue/Readings.h"

namespace kv {

namespace {

constexpr double KiBPerGiB = 1024.0 * 1024.0;

// How many stored units make one user unit (Fahrenheit aside).
double Scale(tAlertQuantity q) {
  switch (q) {
    case tAlertQuantity::Temperature:
    case tAlertQuantity::Voltage:
      return 100.0;
    case tAlertQuantity::DiskFree:
      return KiBPerGiB;
    default:
      return 1.0;
  }
}

bool Fahrenheit(tAlertQuantity q, bool celsius) { return q == tAlertQuantity::Temperature && !celsius; }

int64_t Rounded(double v) { return static_cast<int64_t>(RoundHalfEven(v)); }

}  // namespace

double LimitToUser(tAlertQuantity q, int64_t stored, bool celsius) {
  if (Fahrenheit(q, celsius)) return stored * 9.0 / 500.0 + 32.0;
  return stored / Scale(q);
}

int64_t LimitFromUser(tAlertQuantity q, double user, bool celsius) {
  if (Fahrenheit(q, celsius)) return Rounded((user - 32.0) * 500.0 / 9.0);
  return Rounded(user * Scale(q));
}

double MarginToUser(tAlertQuantity q, int64_t stored, bool celsius) {
  if (Fahrenheit(q, celsius)) return stored * 9.0 / 500.0;
  return stored / Scale(q);
}

int64_t MarginFromUser(tAlertQuantity q, double user, bool celsius) {
  if (Fahrenheit(q, celsius)) return Rounded(user * 500.0 / 9.0);
  return Rounded(user * Scale(q));
}

std::string AlertValueText(tAlertQuantity q, int64_t stored, bool celsius) {
  const double user = LimitToUser(q, stored, celsius);
  switch (q) {
    case tAlertQuantity::Temperature:
      return FormatPattern(user, 1) + (celsius ? " °C" : " °F");
    case tAlertQuantity::Voltage:
      return FormatPattern(user, 2) + " V";
    case tAlertQuantity::Fan:
      return std::to_string(stored) + " RPM";
    case tAlertQuantity::DiskFree:
      return FormatPattern(user, 1) + " GiB";
    case tAlertQuantity::Battery:
      return std::to_string(stored) + " %";
    case tAlertQuantity::StepFailures:
      return std::to_string(stored) + (stored == 1 ? " pass" : " passes");
  }
  return std::to_string(stored);
}

}  // namespace kv
