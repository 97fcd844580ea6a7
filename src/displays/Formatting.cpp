#include "displays/Formatting.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <QLocale>

#include "settings/Language.h"

namespace kv {

namespace {

// value rounded half away from zero at `decimals` places, as integer and fraction digits.
// The rounding works on the 15 significant digits a double holds, so 45.25 and 2394.565 round
// the way they read rather than by their binary neighbours.
struct tDecimalDigits {
  std::string whole;
  std::string fraction;
};

tDecimalDigits RoundDecimal(double magnitude, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", magnitude);  // d.dddddddddddddde±xx
  std::string digits = std::string(1, buf[0]) + std::string(buf + 2, 14);
  int point = std::atoi(std::strchr(buf, 'e') + 1) + 1;  // digits before the decimal point

  const int keep = point + decimals;
  bool roundUp = false;
  if (keep < 0) {  // far below the last decimal: nothing is left but zeros
    digits.clear();
    point = -decimals;
  } else if (keep < static_cast<int>(digits.size())) {
    roundUp = digits[keep] >= '5';
    digits.resize(keep);
  } else {
    digits.append(keep - digits.size(), '0');
  }
  if (roundUp) {
    int i = static_cast<int>(digits.size()) - 1;
    while (i >= 0 && digits[i] == '9') digits[i--] = '0';
    if (i >= 0) {
      ++digits[i];
    } else {
      digits.insert(digits.begin(), '1');
      ++point;
    }
  }
  if (point <= 0) {
    digits.insert(0, std::string(-point, '0'));
    point = 0;
  }
  tDecimalDigits d{digits.substr(0, point), digits.substr(point)};
  d.whole.erase(0, std::min(d.whole.find_first_not_of('0'), d.whole.size()));
  if (d.whole.empty()) d.whole.assign(1, '0');  // GCC 12 at -O3 warns falsely on = "0"
  return d;
}

std::string FormatDecimals(double value, int decimals, bool dropTrailingZeros) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  decimals = std::clamp(decimals, 0, 15);
  tDecimalDigits d = RoundDecimal(std::fabs(value), decimals);
  if (dropTrailingZeros) d.fraction.erase(d.fraction.find_last_not_of('0') + 1);
  const bool zero = d.whole == "0" && d.fraction.find_first_not_of('0') == std::string::npos;
  std::string text = (value < 0 && !zero) ? "-" + d.whole : d.whole;
  if (!d.fraction.empty()) text += DecimalSeparator() + d.fraction;
  return text;
}

// Divides x by `divisor` while it exceeds `limit` and fewer than maxSteps steps were taken.
int ScaleDown(double& x, double limit, double divisor, int maxSteps) {
  int step = 0;
  while (x > limit && step < maxSteps) {
    x /= divisor;
    ++step;
  }
  return step;
}

struct tUnitStep {
  int decimals;
  std::string tTexts::*unit;
};

}  // namespace

std::string DecimalSeparator() { return QLocale().decimalPoint().toStdString(); }

std::string FormatPattern(double value, int maxDecimals) { return FormatDecimals(value, maxDecimals, true); }

std::string FormatFixed(double value, int decimals) { return FormatDecimals(value, decimals, false); }

double ToDisplayTemperature(int hundredths, bool celsius) {
  return celsius ? hundredths / 100.0 : hundredths * 9.0 / 500.0 + 32.0;
}

std::string FormatTemperature(int hundredths, bool celsius) {
  return FormatPattern(ToDisplayTemperature(hundredths, celsius), 1) + (celsius ? " °C" : " °F");
}

std::string FormatKiB(double kib) {
  static const tUnitStep steps[] = {{0, &tTexts::KB}, {1, &tTexts::MB}, {2, &tTexts::GB}, {3, &tTexts::TB}};
  const int step = ScaleDown(kib, 1536, 1024, 3);
  return FormatPattern(kib, steps[step].decimals) + " " + (*Texts()).*steps[step].unit;
}

std::string FormatBytes(double bytes) {
  static const tUnitStep steps[] = {
      {0, nullptr}, {0, &tTexts::KB}, {1, &tTexts::MB}, {2, &tTexts::GB}, {2, &tTexts::TB}};
  const int step = ScaleDown(bytes, 1024, 1024, 4);
  if (step == 0) return FormatPattern(bytes, 0) + " B";
  return FormatPattern(bytes, steps[step].decimals) + " " + (*Texts()).*steps[step].unit;
}

std::string FormatRate(double kibPerSecond, bool bits) {
  const auto texts = Texts();
  double x = bits ? kibPerSecond * 8 : kibPerSecond;
  if (x < 800) return FormatPattern(x, 0) + " " + (bits ? texts->kbps : texts->KBS);
  x /= 1024;
  return FormatPattern(x, x < 10 ? 1 : 0) + " " + (bits ? texts->Mbps : texts->MBS);
}

std::string FormatSiCount(int decimals, double value) {
  static const char* const prefixes[] = {"", "k", "M", "G", "T"};
  int step = 0;
  while (std::isfinite(value) && value > 1500) {
    value /= 1000;
    ++step;
  }
  return FormatFixed(value, decimals) + (step <= 4 ? prefixes[step] : "");
}

std::string UptimeText(unsigned days, unsigned hours, unsigned minutes, unsigned seconds) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%u d %.2u:%.2u:%.2u h", days, hours, minutes, seconds);
  return buf;
}

std::string FormatWithText(const std::string& pattern, const std::string& argument) {
  const size_t at = pattern.find("%s");
  if (at == std::string::npos) return pattern;
  return pattern.substr(0, at) + argument + pattern.substr(at + 2);
}

std::string FormatTexts(const std::string& pattern, const std::vector<std::string>& args) {
  std::string out;
  out.reserve(pattern.size() + 16);
  size_t next = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size()) {
      if (pattern[i + 1] == 's') {
        if (next < args.size()) out += args[next];
        ++next;
        ++i;
        continue;
      }
      if (pattern[i + 1] == '%') {
        out += '%';
        ++i;
        continue;
      }
    }
    out += pattern[i];
  }
  return out;
}

}  // namespace kv
