#include "core/Text.h"

#include <charconv>

namespace kv {

std::string LowerCase(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

std::string UpperCase(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return r;
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && LowerCase(a) == LowerCase(b);
}

std::string Trim(std::string_view s) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  size_t b = 0, e = s.size();
  while (b < e && blank(s[b])) ++b;
  while (e > b && blank(s[e - 1])) --e;
  return std::string(s.substr(b, e - b));
}

std::string IncludeTrailingSlash(std::string_view path) {
  std::string r(path);
  if (r.empty() || r.back() != '/') r += '/';
  return r;
}

std::optional<int64_t> ParseInt(std::string_view s) {
  if (s.empty()) return std::nullopt;
  int64_t v = 0;
  const char* first = s.data();
  const char* last = s.data() + s.size();
  if (*first == '+') ++first;
  const auto [ptr, ec] = std::from_chars(first, last, v);
  if (ec != std::errc() || ptr != last || first == last) return std::nullopt;
  return v;
}

int64_t StrToIntDef(std::string_view s, int64_t fallback) { return ParseInt(s).value_or(fallback); }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string LogExcerpt(std::string_view text, size_t limit) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  size_t used = 0;
  for (; used < text.size(); ++used) {
    const unsigned char c = static_cast<unsigned char>(text[used]);
    std::string piece;
    switch (c) {
      case '\\': piece = "\\\\"; break;
      case '\n': piece = "\\n"; break;
      case '\r': piece = "\\r"; break;
      case '\t': piece = "\\t"; break;
      default:
        if (c < 0x20 || c > 0x7E) piece = {'\\', 'x', hex[c >> 4], hex[c & 15]};
        else piece = std::string(1, static_cast<char>(c));
    }
    if (out.size() + piece.size() > limit) break;
    out += piece;
  }
  if (used < text.size()) out += "... (" + std::to_string(text.size()) + " bytes)";
  return out;
}

std::string FirstCharacters(std::string_view text, size_t characters) {
  size_t end = 0;
  for (size_t n = 0; end < text.size() && n < characters; ++n) {
    ++end;  // past the lead byte; continuation bytes 10xxxxxx belong to it
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
  }
  return std::string(text.substr(0, end));
}

}  // namespace kv
