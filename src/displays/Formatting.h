#pragma once
// The formatters every displayed or stored value text goes through. Numbers follow the "0.##"
// pattern family: up to n decimals, trailing zeros dropped, halves rounded away from zero, the
// locale's decimal separator, no thousands separator.
#include <cstdint>
#include <string>
#include <vector>

namespace kv {

// The decimal separator in use: the default locale's (the system's unless the program sets
// another).
std::string DecimalSeparator();

// value with at most maxDecimals decimals, trailing zeros dropped: "0", "0.#", "0.##", ...
std::string FormatPattern(double value, int maxDecimals);
// value with exactly decimals decimals, as printf's "%.*f" but with the same rounding and
// separator as FormatPattern.
std::string FormatFixed(double value, int decimals);

double ToDisplayTemperature(int hundredths, bool celsius);  // °C, else °F
std::string FormatTemperature(int hundredths, bool celsius);
std::string FormatKiB(double kib);
std::string FormatBytes(double bytes);
std::string FormatRate(double kibPerSecond, bool bits);  // bits: kbit/s and Mbit/s
std::string FormatSiCount(int decimals, double value);

// "3 d 04:05:06 h".
std::string UptimeText(unsigned days, unsigned hours, unsigned minutes, unsigned seconds);
// A language text with its first "%s" replaced by argument; any other percent sign is left as it
// is, so a text from a language file can never act as a printf format.
std::string FormatWithText(const std::string& pattern, const std::string& argument);
// The same with each "%s" taking the next argument in turn and "%%" becoming "%"; a "%s"
// without an argument becomes empty, any other percent sign stays as it is.
std::string FormatTexts(const std::string& pattern, const std::vector<std::string>& args);

}  // namespace kv
