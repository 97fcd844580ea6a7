#include "tools/options/OptionsModel.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "alerts/AlertUnits.h"
#include "core/EventLog.h"
#include "core/Process.h"
#include "core/Text.h"
#include "platform/DataFiles.h"
#include "platform/Files.h"
#include "platform/Instance.h"
#include "settings/IniFile.h"
#include "settings/Scramble.h"
#include "settings/Settings.h"
#include "tools/options/Autostart.h"

namespace kv {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

void ReadSection(const IniFile& ini, const char* section, std::map<std::string, std::string>& into) {
  for (const std::string& key : ini.Keys(section)) into[Lower(key)] = ini.ReadString(section, key, "");
}

// Older locations the monitor's reader prefers to the key itself: they go when the key is saved,
// or the saved value would never be seen.
struct tOlderKey {
  const char* file;
  const char* section;
  const char* key;
  const char* oldSection;
  const char* oldKey;
};
const tOlderKey OlderKeys[] = {
    {ServerIniName, "FTP", "FTPPassCrypt", "FTP", "Pass"},
    {ServerIniName, "SMTP", "SMTPPassCrypt", "SMTP", "SMTPPass"},
    {ServerIniName, "Proxy", "FTPProxyPassCrypt", "Proxy", "ProxyPass"},
    {ServerIniName, "Proxy", "HTTPProxyPassCrypt", "Proxy", "HTTPProxyPass"},
    {ServerIniName, "HTTP", "HTTPPassCrypt", "HTTP", "HTTPPass"},
    {DisplayIniName, "Net", "NetHeight", "Memory", "NetHeight"},
};

const char* const Files[] = {ClientIniName, DisplayIniName, ServerIniName};

std::string DiskText(const std::string& settingsDir, const char* file) {
  std::string bytes;
  if (!ReadWholeFile(settingsDir + file, bytes)) return {};
  return bytes;
}

bool InRange(const tOptionRow& row, double v) { return row.low > row.high || (v >= row.low && v <= row.high); }

bool IsLimit(const tOptionRow& row) { return row.kind == tOptionKind::Limit || row.kind == tOptionKind::Margin; }

// A limit's stored integer as the user reads it: at most two decimals, comma separated like the
// other numbers of the dialog; "" for off.
std::string LimitDisplay(const tOptionRow& row, const std::string& stored, bool celsius) {
  if (row.off && stored == row.off) return {};
  const std::optional<int32_t> v = ParseIniInteger(stored);
  if (!v) return stored;
  const double user =
      row.kind == tOptionKind::Margin ? MarginToUser(row.quantity, *v, celsius) : LimitToUser(row.quantity, *v, celsius);
  return FormatIniFloat(std::round(user * 100.0) / 100.0);
}

}  // namespace

void OptionTexts::Load(const std::string& appDir, const std::string& langFile) {
  options_.clear();
  messages_.clear();
  main_.clear();
  for (const std::string& name : {std::string(EnglishLanguageFile), langFile}) {
    if (name.find('/') != std::string::npos) continue;  // only files beside the program
    const IniFile ini(appDir + name);
    ReadSection(ini, "Options", options_);
    ReadSection(ini, "Messages", messages_);
    ReadSection(ini, "Main", main_);
  }
}

std::string OptionTexts::Get(const std::string& key) const {
  const std::string k = Lower(key);
  for (const auto* m : {&options_, &messages_})
    if (const auto it = m->find(k); it != m->end()) return it->second;
  if (const auto it = main_.find(k + ".caption"); it != main_.end()) return it->second;
  return key;
}

std::string OptionTexts::PageTitle(const tOptionPage& page) const {
  std::string t = Get(page.menuEntry);
  std::string out;
  for (char c : t)
    if (c != '&') out += c;
  while (!out.empty() && (out.back() == '.' || out.back() == ' ')) out.pop_back();
  return out;
}

long ParseColourText(const std::string& raw) {
  const std::string text = Trim(raw);
  if (text.size() == 7 && text[0] == '#') {
    char* end = nullptr;
    const long rgb = std::strtol(text.c_str() + 1, &end, 16);
    if (*end != '\0' || text.find_first_of("+- ", 1) != std::string::npos) return -1;
    return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
  }
  const std::optional<int32_t> v = ParseIniInteger(text);
  if (!v || *v < 0 || *v > 0xFFFFFF) return -1;
  return *v;
}

std::string ColourText(long bgr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "#%02X%02X%02X", static_cast<unsigned>(bgr & 0xFF),
                static_cast<unsigned>((bgr >> 8) & 0xFF), static_cast<unsigned>((bgr >> 16) & 0xFF));
  return buf;
}

std::string OptionsModel::Id(const tOptionRow& row) {
  return std::string(row.file) + "/" + row.section + "/" + row.key;
}

std::string OptionsModel::Check(const tOptionRow& row, const std::string& text, std::string& stored) const {
  const bool celsius = settings_.Celsius;
  const std::string t = CleanIniValue(text);
  const char* numberMessage = row.message ? row.message : "ValidNumber";
  switch (row.kind) {
    case tOptionKind::Bool:
    case tOptionKind::Autostart: {
      const std::string l = Lower(t);
      if (l == "1" || l == "true") stored = "1";
      else if (l == "0" || l == "false") stored = "0";
      else return "ValidNumber";
      return "";
    }
    case tOptionKind::Int:
    case tOptionKind::Port:
    case tOptionKind::Choice: {
      const std::optional<int32_t> v = ParseIniInteger(t);
      if (!v || !InRange(row, *v)) return numberMessage;
      if (row.kind == tOptionKind::Choice) {
        bool known = false;
        for (const tOptionChoice& c : row.choices) known |= c.value == *v;
        if (!known) return numberMessage;
      }
      stored = std::to_string(*v);
      return "";
    }
    case tOptionKind::Float: {
      std::string comma = t;
      for (char& c : comma)
        if (c == '.') c = ',';
      const std::optional<double> v = ParseIniFloat(comma);
      if (!v || !InRange(row, *v)) return numberMessage;
      stored = FormatIniFloat(*v);
      return "";
    }
    case tOptionKind::Colour: {
      const long c = ParseColourText(t);
      if (c < 0) return "InvalidColour";
      stored = std::to_string(c);
      return "";
    }
    case tOptionKind::FileName:
    case tOptionKind::Language:
      if (t.empty() || t == "." || t == ".." || t.find_first_of("/\\") != std::string::npos)
        return "InvalidFileName";
      if (row.kind == tOptionKind::Language &&
          (t.size() < 5 || Lower(t.substr(t.size() - 4)) != ".lng" || !FileExists(DataFile(t, process_))))
        return "InvalidFileName";
      stored = t;
      return "";
    case tOptionKind::SearchedFolder:
      if (t.empty()) {
        stored.clear();
        return "";
      }
      [[fallthrough]];
    case tOptionKind::Folder:
      if (t.empty() || !FolderExists(t)) return "LocalPathNotFound";
      stored = IncludeTrailingSlash(t);
      return "";
    case tOptionKind::Password:
      // Kept as typed (the scrambled form holds any byte); only line breaks cannot be stored.
      if (text.find_first_of("\r\n") != std::string::npos) return "ValidNumber";
      stored = text;
      return "";
    case tOptionKind::Text:
      stored = t;
      return "";
    case tOptionKind::Limit:
    case tOptionKind::Margin: {
      if (t.empty() && row.off) {
        stored = row.off;
        return "";
      }
      std::string comma = t;
      for (char& c : comma)
        if (c == '.') c = ',';
      const std::optional<double> v = ParseIniFloat(comma);
      if (!v || !std::isfinite(*v) || std::fabs(*v) > 1e12) return numberMessage;
      const int64_t s = row.kind == tOptionKind::Margin ? MarginFromUser(row.quantity, *v, celsius)
                                                        : LimitFromUser(row.quantity, *v, celsius);
      if (!InRange(row, static_cast<double>(s))) return numberMessage;
      stored = std::to_string(s);
      return "";
    }
  }
  return "ValidNumber";
}

void OptionsModel::Load() {
  // Reading must not change the files (the reader writes converted passwords back) nor keep
  // the monitor's event log.
  SetEventLogPath("");
  ReadSettings(settings_, process_, {}, tSettingsLoad::LookOnly);
  loaded_.clear();
  for (const char* file : Files) {
    const IniFile stored = StoredSettings(settings_, file);
    const std::string disk = DiskText(process_.SettingsDir, file);
    onDisk_[file] = disk;
    const IniFile onDisk = IniFile::FromText(disk);
    for (const tOptionRow& row : OptionRows()) {
      if (row.file != std::string(file)) continue;
      std::string v = (row.fileOnly ? onDisk : stored).ReadString(row.section, row.key, "");
      if (row.kind == tOptionKind::Password) v = UnscramblePassword(v);
      loaded_[Id(row)] = v;
    }
  }
  for (const tOptionRow& row : OptionRows())
    if (row.kind == tOptionKind::Autostart)
      loaded_[Id(row)] = AutostartStateOf(AutostartPath()) == tAutostartState::Ours ? "1" : "0";
  current_ = loaded_;
}

std::string OptionsModel::Display(const tOptionRow& row) const {
  const auto it = current_.find(Id(row));
  if (it == current_.end()) return {};
  if (row.kind == tOptionKind::Colour) {
    const long c = ParseColourText(it->second);
    return ColourText(c < 0 ? 0 : c);
  }
  if (IsLimit(row)) return LimitDisplay(row, it->second, settings_.Celsius);
  return it->second;
}

std::string OptionsModel::Set(const tOptionRow& row, const std::string& text) {
  // A limit shown rounded and taken back unchanged keeps its exact stored value.
  if (IsLimit(row) && text == Display(row)) return "";
  std::string stored;
  const std::string problem = Check(row, text, stored);
  if (problem.empty()) current_[Id(row)] = stored;
  return problem;
}

bool OptionsModel::Changed() const { return current_ != loaded_; }

tMailAccount OptionsModel::MailAccountOfFields() const {
  const auto value = [this](const char* section, const char* key) {
    const auto it = current_.find(std::string(ServerIniName) + "/" + section + "/" + key);
    return it == current_.end() ? std::string() : it->second;
  };
  tSettings s;
  const auto number = [&](const char* key, int32_t fallback) {
    return ParseIniInteger(value("SMTP", key)).value_or(fallback);
  };
  s.SMTPHost = value("SMTP", "SMTPHost");
  s.SMTPPort = number("SMTPPort", s.SMTPPort);
  s.SMTPTLS = number("SMTPTLS", s.SMTPTLS);
  s.SMTPAuth = value("SMTP", "SMTPAuth") == "1";
  s.SMTPUser = value("SMTP", "SMTPUser");
  s.SMTPPass = value("SMTP", "SMTPPassCrypt");  // kept plain in the fields
  s.MailFrom = value("SMTP", "MailFrom");
  s.MailTo = value("SMTP", "MailTo");
  s.VerifyTLS = value("FTP", "VerifyTLS") != "0";
  return MailAccount(s);
}

bool OptionsModel::SaveAutostart(const tOptionRow& row, const tQuestion& ask, bool& declined) {
  const std::string id = Id(row);
  const std::string path = AutostartPath();
  if (path.empty()) {
    LogEvent("op3 no home folder for the autostart entry");
    return false;
  }
  const tAutostartState state = AutostartStateOf(path);
  if (state == tAutostartState::Foreign && !(ask && ask("AutostartNotOurs", path))) {
    declined = true;
    current_[id] = loaded_[id];
    return true;
  }
  const bool ok = current_[id] == "1" ? WriteAutostart(path, process_.AppDir + "kelvara")
                                      : state == tAutostartState::Absent || RemoveAutostart(path);
  if (ok) loaded_[id] = current_[id];
  return ok;
}

tSaveResult OptionsModel::Save(const tQuestion& ask) {
  struct tChange {
    std::string disk;
    std::vector<const tOptionRow*> rows;
  };
  std::map<std::string, tChange> changes;
  std::vector<const tOptionRow*> entries;  // rows no settings file holds
  for (const tOptionRow& row : OptionRows()) {
    const std::string id = Id(row);
    if (current_[id] == loaded_[id]) continue;
    if (row.kind == tOptionKind::Autostart) entries.push_back(&row);
    else changes[row.file].rows.push_back(&row);
  }
  if (changes.empty() && entries.empty()) return tSaveResult::NothingChanged;

  std::string conflicts;
  for (auto& [file, change] : changes) {
    change.disk = DiskText(process_.SettingsDir, file.c_str());
    if (change.disk != onDisk_[file]) conflicts += (conflicts.empty() ? "" : ", ") + file;
  }
  if (!conflicts.empty() && !(ask && ask("ChangedOnDisk", conflicts))) return tSaveResult::Declined;

  // Every file is prepared before any is renamed into place: a failure leaves all as they were.
  std::vector<std::pair<std::string, std::string>> temps;  // temp, target
  std::map<std::string, std::string> written;
  bool ok = true;
  for (auto& [file, change] : changes) {
    IniFile ini = IniFile::FromText(change.disk);
    for (const tOptionRow* row : change.rows) {
      const std::string& v = current_[Id(*row)];
      ini.WriteString(row->section, row->key, row->kind == tOptionKind::Password ? ScramblePassword(v) : v);
      for (const tOlderKey& o : OlderKeys)
        if (file == o.file && row->key == o.key && Lower(row->section) == Lower(o.section))
          ini.DeleteKey(o.oldSection, o.oldKey);
    }
    const std::string text = ini.ToText();
    std::string temp;
    const std::string target = process_.SettingsDir + file;
    // A file keeps the mode its owner gave it (a KVClient.ini made private stays private);
    // KVServer.ini holds passwords and is never more than 0600.
    unsigned mode = 0644;
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) mode = st.st_mode & 0777;
    if (file == ServerIniName) mode &= 0600;
    if (!WriteTempFile(target, text, mode, temp)) {
      LogEvent("op1 cannot write " + target);
      ok = false;
      break;
    }
    temps.emplace_back(temp, target);
    written[file] = text;
  }
  if (!ok) {
    for (const auto& t : temps) DeleteFile(t.first);
    return tSaveResult::Failed;
  }
  for (const auto& [temp, target] : temps)
    if (!CommitTempFile(temp, target)) {
      LogEvent("op2 cannot replace " + target);
      ok = false;
    }
  if (!ok) return tSaveResult::Failed;
  for (const auto& [file, text] : written) onDisk_[file] = text;
  for (const auto& [file, change] : changes)
    for (const tOptionRow* row : change.rows) loaded_[Id(*row)] = current_[Id(*row)];
  // No running monitor is no error: it reads the files when it starts.
  if (!changes.empty()) PostInstanceMessage(InstanceSocketPath(), WM_OPTIONS_CHANGED);
  bool declined = false;
  for (const tOptionRow* row : entries) ok = SaveAutostart(*row, ask, declined) && ok;
  if (!ok) return tSaveResult::Failed;
  return declined && changes.empty() ? tSaveResult::Declined : tSaveResult::Saved;
}

}  // namespace kv
