#include "core/MetricFamily.h"

#include <charconv>
#include <cmath>

namespace kv {

namespace {

// The length of the valid UTF-8 sequence at s[i], 0 when there is none (overlong forms,
// surrogates and code points beyond U+10FFFF included).
size_t Utf8Sequence(std::string_view s, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = byte(i);
  if (c < 0x80) return 1;
  size_t n;
  unsigned char low = 0x80, high = 0xBF;  // the bounds of the second byte
  if (c >= 0xC2 && c <= 0xDF) n = 2;
  else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + n > s.size() || byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (size_t k = 2; k < n; ++k)
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  return n;
}

}  // namespace

std::string MetricNumber(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "+Inf" : "-Inf";
  char buf[32];
  const auto end = std::to_chars(buf, buf + sizeof buf, v).ptr;
  return std::string(buf, end);
}

std::string MetricLabelValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size();) {
    const size_t n = Utf8Sequence(value, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    const char c = value[i];
    if (c == '\\') out += "\\\\";
    else if (c == '"') out += "\\\"";
    else if (c == '\n') out += "\\n";
    else out.append(value, i, n);
    i += n;
  }
  return out;
}

tMetricFamily::tMetricFamily(std::string name, const char* type, const char* help) : name_(std::move(name)) {
  head_ = "# HELP " + name_ + " " + help + "\n# TYPE " + name_ + " " + type + "\n";
}

void tMetricFamily::Add(double value, const tMetricLabels& labels) {
  body_ += name_;
  if (!labels.empty()) {
    body_ += '{';
    for (size_t i = 0; i < labels.size(); ++i) {
      if (i) body_ += ',';
      body_ += labels[i].first;
      body_ += "=\"" + MetricLabelValue(labels[i].second) + '"';
    }
    body_ += '}';
  }
  body_ += ' ' + MetricNumber(value) + '\n';
}

}  // namespace kv
