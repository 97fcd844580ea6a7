#pragma once
// The values the options dialog edits, without widgets: loaded through the settings reader,
// checked row by row, and saved key by key into the files as they are on disk at that moment.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "alerts/SmtpMail.h"
#include "core/Process.h"
#include "tools/options/OptionPages.h"

namespace kv {

struct tSettings;

// The dialog's texts: English.lng first, the chosen language over it. A key is looked up in
// [Options], then [Messages], then as a [Main] menu caption; an unknown key shows itself.
class OptionTexts {
 public:
  void Load(const std::string& appDir, const std::string& langFile);
  std::string Get(const std::string& key) const;
  bool Has(const std::string& key) const { return Get(key) != key; }
  // A menu caption without its accelerator mark and trailing dots.
  std::string PageTitle(const tOptionPage& page) const;
 private:
  std::map<std::string, std::string> options_, messages_, main_;  // keys lower-cased
};

enum class tSaveResult { Saved, NothingChanged, Declined, Failed };

class OptionsModel {
 public:
  // Edits the files of process's settings folder; settings holds what the settings reader
  // made of them (its Celsius also decides how temperature limits read).
  OptionsModel(tSettings& settings, const tProcessFacts& process) : settings_(settings), process_(process) {}

  // Reads the three files through the settings reader without writing anything.
  void Load();

  // The value as the editor shows it (colours as #RRGGBB, passwords plain, floats with a comma).
  std::string Display(const tOptionRow& row) const;
  // Takes an edited value; on bad input the value stays and the result names the message key.
  std::string Set(const tOptionRow& row, const std::string& text);
  bool Changed() const;
  // The [SMTP] account (with [FTP] VerifyTLS) as the fields hold it now, saved or not: what
  // the Alerts page's Test button sends with.
  tMailAccount MailAccountOfFields() const;

  // Writes the changed keys. A file that changed on disk since Load is written only when ask
  // (given the question's text key and the file names) says so; then the changed keys go over
  // the file's new content. After writing, the running monitor is told. The login entry is
  // written or removed after the files; one that is not ours is touched only when ask says so.
  using tQuestion = std::function<bool(const std::string& question, const std::string& files)>;
  tSaveResult Save(const tQuestion& ask);

  // The message key a value of row would be refused with; "" when it is good. text is what a
  // user typed (temperatures in the settings' unit); stored receives the value in the file's form.
  std::string Check(const tOptionRow& row, const std::string& text, std::string& stored) const;

 private:
  static std::string Id(const tOptionRow& row);
  // Writes or removes the login entry as row now says; false on failure. declined: a foreign
  // entry was left as the user asked.
  bool SaveAutostart(const tOptionRow& row, const tQuestion& ask, bool& declined);
  tSettings& settings_;
  const tProcessFacts& process_;
  std::map<std::string, std::string> loaded_, current_;  // Id -> stored form (passwords plain)
  std::map<std::string, std::string> onDisk_;            // file name -> bytes at Load or Save
};

// A colour text as a user may type it: "#RRGGBB", or a number as the files hold it (decimal,
// "$" or "0x" hexadecimal, 0x00BBGGRR). -1 when it is not a colour.
long ParseColourText(const std::string& text);
std::string ColourText(long bgr);  // "#RRGGBB"

}  // namespace kv
