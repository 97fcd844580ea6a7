#pragma once
// What the options program edits: its pages and one row per key. A page is the rows that name
// it; adding a key to the dialog is adding a row here.
#include <string>
#include <vector>

#include "alerts/AlertUnits.h"

namespace kv {

enum class tOptionKind {
  Bool,      // check box, "1"/"0"
  Int,       // whole number within low .. high
  Float,     // comma or point accepted, stored with a comma
  Text,      // any text of one line
  FileName,  // a name without a folder
  Folder,    // an existing folder
  SearchedFolder,  // an existing folder, or empty: the monitor looks for the program's folder
  Colour,    // 0x00BBGGRR, edited as #RRGGBB
  Password,  // shown hidden, stored scrambled
  Port,      // 1 .. 65535
  Choice,    // one of a few values, named by language texts
  Language,  // a .lng file beside the program
  Limit,     // an alert limit: edited in the unit the user sees, stored in the files' unit
  Margin,    // an alert margin: a difference in the same units (no Fahrenheit offset)
  Autostart, // check box kept in no settings file: whether our login autostart entry exists
};

// The file name of the rows that no settings file holds.
constexpr const char* AutostartFile = "autostart";

struct tOptionPage {
  int number;
  const char* menuEntry;  // the [Options] text or [Main] caption that names the page
  bool debugOnly, expertOnly;
};
const std::vector<tOptionPage>& OptionPages();
const tOptionPage* FindOptionPage(int number);

struct tOptionChoice {
  int value;
  const char* text;  // [Messages] or [Options] key
};

struct tOptionRow {
  int page;
  const char* file;     // ClientIniName, DisplayIniName or ServerIniName; AutostartFile for none
  const char* section;
  std::string key;      // channel keys spelt out ("colT3")
  tOptionKind kind;
  // No range of its own when low > high: the settings table's, if any. Limits and margins
  // range over the stored unit.
  double low = 0, high = -1;
  const char* message = nullptr;  // [Messages] key shown for bad input; null: the kind's own
  std::string caption;  // [Options] key of the label
  int channel = 0;      // 1-based channel of a channel row; 0 for a single key
  bool fileOnly = false;  // not in the settings state: read from the file, empty by default
  std::vector<tOptionChoice> choices;
  tAlertQuantity quantity = tAlertQuantity::Temperature;  // of a limit or margin
  const char* off = nullptr;  // a limit's stored value for "off", which an empty field means
};
// The unit a limit or margin row is edited in ("°C" or "°F" by Celsius, "V", "RPM", ...).
std::string LimitUnit(const tOptionRow& row, bool celsius);
// Every row, channel families expanded, page by page.
const std::vector<tOptionRow>& OptionRows();
std::vector<const tOptionRow*> RowsOfPage(int page);

}  // namespace kv
