#include "settings/IniFile.h"

#include <QString>
#include <algorithm>
#include <cctype>
#include <QStringDecoder>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/Text.h"
#include "platform/Files.h"

namespace kv {

std::string DecodeText(const std::string& bytes) {
  if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; })) return bytes;
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  if (!utf8.hasError()) return bytes;
  QStringDecoder cp1252("windows-1252");
  if (cp1252.isValid()) {
    text = cp1252(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  } else {
    text = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
  }
  return text.toStdString();
}

std::optional<int32_t> ParseIniInteger(const std::string& text) {
  std::string s = Trim(text);
  bool negative = false;
  std::string digits;
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    digits = s.substr(2);
    base = 16;
  } else if (!s.empty() && s[0] == '$') {
    digits = s.substr(1);
    base = 16;
  } else {
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
      negative = s[0] == '-';
      s.erase(0, 1);
    }
    digits = s;
  }
  if (digits.empty() || digits.size() > 20) return std::nullopt;
  for (const char c : digits) {
    const bool ok = base == 16 ? std::isxdigit(static_cast<unsigned char>(c)) != 0
                               : (c >= '0' && c <= '9');
    if (!ok) return std::nullopt;
  }
  const unsigned long long v = std::strtoull(digits.c_str(), nullptr, base);
  if (base == 16) {
    if (digits.size() > 8) return std::nullopt;
    return static_cast<int32_t>(static_cast<uint32_t>(v));  // $FFFFFFFF is -1, as in 32 bits
  }
  if (negative ? v > 2147483648ULL : v > 2147483647ULL) return std::nullopt;
  return negative ? static_cast<int32_t>(-static_cast<long long>(v)) : static_cast<int32_t>(v);
}

std::optional<double> ParseIniFloat(const std::string& text) {
  std::string s = Trim(text);
  if (s.empty() || s.find('.') != std::string::npos) return std::nullopt;
  for (char& c : s)
    if (c == ',') c = '.';
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (end != s.c_str() + s.size() || !std::isfinite(v)) return std::nullopt;
  // strtod also takes hex floats and "inf"; only plain decimals are settings.
  for (const char c : s)
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' ||
          c == 'e' || c == 'E'))
      return std::nullopt;
  return v;
}

std::string FormatIniFloat(double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", value);
  std::string s(buf);
  for (char& c : s)
    if (c == '.') c = ',';
  return s;
}

std::string CleanIniValue(const std::string& value) {
  const std::string text = DecodeText(value);
  std::string clean;
  clean.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\n' || c == '\r' || c == '\t') {
      clean += ' ';
    } else if (c == 0xC2 && i + 1 < text.size() &&
               (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80) {
      ++i;  // U+0080 .. U+009F
    } else if (c >= 0x20 && c != 0x7F) {
      clean += static_cast<char>(c);
    }
  }
  return Trim(clean);
}

IniFile::IniFile(std::string path) : path_(std::move(path)) {
  std::string bytes;
  if (ReadWholeFile(path_, bytes)) Parse(bytes);
}

IniFile IniFile::FromText(const std::string& text) {
  IniFile ini;
  ini.Parse(text);
  return ini;
}

void IniFile::Parse(const std::string& text) {
  tSection* current = nullptr;
  // Editors on other systems start a UTF-8 file with a byte-order mark; it is not part of the
  // first section's name.
  size_t pos = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
  while (pos <= text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    // Line by line: one line in another code page does not turn the others into mojibake.
    const std::string line = Trim(DecodeText(text.substr(pos, eol - pos)));
    pos = eol + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      const std::string name = Trim(std::string_view(line).substr(1, line.size() - 2));
      current = &SectionFor(name);
      continue;
    }
    if (!current) continue;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    current->entries.push_back({Trim(std::string_view(line).substr(0, eq)),
                                Trim(std::string_view(line).substr(eq + 1))});
  }
}

IniFile::tSection& IniFile::SectionFor(const std::string& section) {
  for (tSection& s : sections_)
    if (SameText(s.name, section)) return s;
  sections_.push_back({section, {}});
  return sections_.back();
}

const IniFile::tEntry* IniFile::Find(const std::string& section, const std::string& key) const {
  for (const tSection& s : sections_) {
    if (!SameText(s.name, section)) continue;
    for (const tEntry& e : s.entries)
      if (SameText(e.key, key)) return &e;
    return nullptr;
  }
  return nullptr;
}

bool IniFile::SectionExists(const std::string& section) const {
  for (const tSection& s : sections_)
    if (SameText(s.name, section)) return true;
  return false;
}

bool IniFile::ValueExists(const std::string& section, const std::string& key) const {
  return Find(section, key) != nullptr;
}

std::vector<std::string> IniFile::Sections() const {
  std::vector<std::string> names;
  for (const tSection& s : sections_) names.push_back(s.name);
  return names;
}

std::vector<std::string> IniFile::Keys(const std::string& section) const {
  std::vector<std::string> keys;
  for (const tSection& s : sections_)
    if (SameText(s.name, section))
      for (const tEntry& e : s.entries) keys.push_back(e.key);
  return keys;
}

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& fallback) const {
  const tEntry* e = Find(section, key);
  return e ? e->value : fallback;
}

int32_t IniFile::ReadInteger(const std::string& section, const std::string& key,
                             int32_t fallback) const {
  const tEntry* e = Find(section, key);
  if (!e) return fallback;
  return ParseIniInteger(e->value).value_or(fallback);
}

bool IniFile::ReadBool(const std::string& section, const std::string& key, bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

double IniFile::ReadFloat(const std::string& section, const std::string& key,
                          double fallback) const {
  const tEntry* e = Find(section, key);
  if (!e) return fallback;
  return ParseIniFloat(e->value).value_or(fallback);
}

void IniFile::WriteString(const std::string& section, const std::string& key,
                          const std::string& value) {
  // A line break inside a value (a sensor name, say) would start a new line, and with it
  // a forged key or section, when the file is read again; raw bytes of another code page
  // would make the whole file read as that code page.
  const std::string oneLine = CleanIniValue(value);
  tSection& s = SectionFor(section);
  for (tEntry& e : s.entries) {
    if (SameText(e.key, key)) {
      e.value = oneLine;
      return;
    }
  }
  s.entries.push_back({key, oneLine});
}

void IniFile::WriteInteger(const std::string& section, const std::string& key, int64_t value) {
  WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void IniFile::WriteFloat(const std::string& section, const std::string& key, double value) {
  WriteString(section, key, FormatIniFloat(value));
}

void IniFile::DeleteKey(const std::string& section, const std::string& key) {
  for (tSection& s : sections_) {
    if (!SameText(s.name, section)) continue;
    std::erase_if(s.entries, [&](const tEntry& e) { return SameText(e.key, key); });
  }
}

std::string IniFile::ToText() const {
  std::string text;
  for (const tSection& s : sections_) {
    text += "[" + s.name + "]\n";
    for (const tEntry& e : s.entries) text += e.key + "=" + e.value + "\n";
    text += "\n";
  }
  return text;
}

bool IniFile::UpdateFile(unsigned mode) const {
  return WriteFileAtomic(path_, ToText(), mode);
}

}  // namespace kv
