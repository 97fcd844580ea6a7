#include "readvalue/XmlLines.h"

#include <charconv>
#include <cmath>

#include "readvalue/Everest.h"

namespace kv {

std::string_view ElementText(std::string_view line, std::string_view name) {
  return NextElement(line, name).value_or(std::string_view{});
}

std::optional<double> DecimalNumber(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (text.empty()) return std::nullopt;
  double v = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (error != std::errc{} || end != text.data() + text.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::string_view NextTextLine(std::string_view& text) {
  const size_t end = text.find('\n');
  std::string_view line = text.substr(0, end);
  text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace kv
