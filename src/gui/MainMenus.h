#pragma once
// The two menus as data: every entry of the window menu and of the tray menu with its place,
// icon number and state flags, and the options page each options entry opens.
#include <string>
#include <vector>

namespace kv {

enum tMenuFlag : unsigned {
  mfDisabled = 1,   // always disabled: no function
  mfRadio = 2,      // one of the view entries' radio group
  mfDefault = 4,    // the menu's default entry
  mfCheckable = 8,
  mfChecked = 16,   // checked at start
  mfSubmenu = 32,
};

struct tMenuEntry {
  const char* name;    // "-" for a separator
  const char* parent;  // "" for the window menu's bar, "tray" for the tray menu, else a submenu
  int icon;            // -1 for none
  unsigned flags;
};

const std::vector<tMenuEntry>& MenuEntries();

// The options program's page for an options entry (twin or not); 0 for any other entry.
int OptionsPage(const std::string& entry);

// The entry whose work a tray twin shares ("mnuLight1" -> "mnuLight").
std::string TwinOf(const std::string& entry);

}  // namespace kv
