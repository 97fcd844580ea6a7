#pragma once
// Pieces of the Prometheus text exposition format (version 0.0.4), shared by every layer that
// publishes metric families: the readings, the alerts.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kv {

// The shortest text that reads back as exactly v ("2e-06", "0.1", "48"); NaN, +Inf, -Inf.
std::string MetricNumber(double v);

// A label value: valid UTF-8 (a scraper refuses the whole text over one broken byte, so those
// become U+FFFD), with backslash, double quote and line feed escaped.
std::string MetricLabelValue(std::string_view value);

using tMetricLabels = std::vector<std::pair<const char*, std::string>>;

// One metric family: its HELP and TYPE lines, then its samples. A family without samples
// leaves no text at all.
class tMetricFamily {
 public:
  tMetricFamily(std::string name, const char* type, const char* help);
  void Add(double value, const tMetricLabels& labels = {});
  bool Empty() const { return body_.empty(); }
  std::string Text() const { return body_.empty() ? std::string() : head_ + body_; }

 private:
  std::string name_, head_, body_;
};

}  // namespace kv
