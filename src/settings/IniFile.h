#pragma once
// An INI file held whole in memory: sections and keys compare without regard to case and keep
// their order; comments and lines before the first section are dropped when written back.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kv {

class IniFile {
 public:
  // Reads the file; a missing or unreadable file gives an empty store. Each line is UTF-8, or
  // Windows-1252 when its bytes are not valid UTF-8.
  explicit IniFile(std::string path);
  static IniFile FromText(const std::string& text);

  const std::string& Path() const { return path_; }

  bool SectionExists(const std::string& section) const;
  bool ValueExists(const std::string& section, const std::string& key) const;
  std::vector<std::string> Sections() const;
  std::vector<std::string> Keys(const std::string& section) const;

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& fallback) const;
  int32_t ReadInteger(const std::string& section, const std::string& key, int32_t fallback) const;
  bool ReadBool(const std::string& section, const std::string& key, bool fallback) const;
  double ReadFloat(const std::string& section, const std::string& key, double fallback) const;

  // The value is stored as CleanIniValue gives it.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int64_t value);
  void WriteBool(const std::string& section, const std::string& key, bool value);
  void WriteFloat(const std::string& section, const std::string& key, double value);
  void DeleteKey(const std::string& section, const std::string& key);

  std::string ToText() const;
  // Writes the whole file through a temporary name; false when it could not be written.
  bool UpdateFile(unsigned mode = 0644) const;

 private:
  struct tEntry {
    std::string key, value;
  };
  struct tSection {
    std::string name;
    std::vector<tEntry> entries;
  };
  IniFile() = default;
  void Parse(const std::string& text);
  const tEntry* Find(const std::string& section, const std::string& key) const;
  tSection& SectionFor(const std::string& section);

  std::string path_;
  std::vector<tSection> sections_;
};

// Number rules of the settings files, usable on their own.
std::optional<int32_t> ParseIniInteger(const std::string& text);
std::optional<double> ParseIniFloat(const std::string& text);  // comma as decimal separator
std::string FormatIniFloat(double value);                      // up to 15 significant digits
// Decodes bytes as UTF-8 when valid, else as Windows-1252; the result is UTF-8.
std::string DecodeText(const std::string& bytes);
// A value as a file may hold it: valid UTF-8 (decoded as DecodeText does), line breaks and tabs
// as blanks, other control characters dropped, no blanks at either end.
std::string CleanIniValue(const std::string& value);

}  // namespace kv
