#pragma once
// The two menus as data: every entry of the window menu and of the tray menu with its place,
// icon number and state flags, the entry a tray twin shares its work with, and the options page
// each options entry opens. Entries are typed: code names them by tMenuAction, never by their
// component names, which only key their captions in the language files.
#include <array>
#include <cstddef>
#include <vector>

namespace kv {

enum class tMenuAction {
  File,
  SaveLightAs,
  SaveBannerAs,
  SaveStatsAs,
  SaveTextAs,
  SaveStats24As,
  SaveStats7As,
  SaveStats31As,
  SaveStats365As,
  Exit,
  Back1Day,
  Display,
  Stats,
  Stats24,
  Stats7,
  Stats31,
  Stats365,
  SystemInfo,
  Gallery,
  Light,
  Banner,
  Textuploader,
  ClickThrough,
  CopyToClipboard,
  Forward1Day,
  Options,
  AutoUpload,
  CheckForUpdate,
  ResetStatistics,
  ServerData,
  Imgs,
  Colors,
  Temperatures,
  Voltages,
  Fans,
  MemCPU,
  Net,
  Disk,
  PowerOff,
  Mailing,
  Misc,
  Debug,
  Expert,
  Upload,
  Help,
  Kelvara,
  KelvaraForum,
  KelvaraChat,
  Info,
  ReportBug,
  Display1,
  SystemInfo1,
  Gallery1,
  Light1,
  Banner1,
  Textuploader1,
  ClickThrough1,
  Options1,
  AutoUpload1,
  CheckForUpdate1,
  ServerData1,
  Imgs1,
  Colors1,
  Temperatures1,
  Voltages1,
  Fans1,
  MemCPU1,
  Net1,
  Disk1,
  PowerOff1,
  Mailing1,
  Misc1,
  Debug1,
  Expert1,
  Timer,
  T5h,
  T3h,
  T1h,
  T30m,
  T10m,
  T5mIdle,
  PowerOffSys,
  Suspend,
  Hibernation,
  DisablePO,
  Kelvara1,
  KelvaraForum1,
  KelvaraChat1,
  Info1,
  Exit1,
  Count,
  None,  // a separator
  Bar,   // the window menu's bar, as a parent
  Tray,  // the tray menu, as a parent
};

constexpr size_t MenuActionCount = static_cast<size_t>(tMenuAction::Count);

enum tMenuFlag : unsigned {
  mfDisabled = 1,   // always disabled: no function
  mfRadio = 2,      // one of the view entries' radio group
  mfDefault = 4,    // the menu's default entry
  mfCheckable = 8,
  mfChecked = 16,   // checked at start
  mfSubmenu = 32,
};

struct tMenuEntry {
  tMenuAction action;  // None for a separator
  const char* name;    // the component name its caption has in the language files; "-" for a separator
  tMenuAction parent;  // Bar, Tray or a submenu's entry
  int icon;            // -1 for none
  unsigned flags;
};

const std::vector<tMenuEntry>& MenuEntries();

// The entry whose work a tray twin shares (Light1 -> Light); any other entry is its own.
tMenuAction TwinOf(tMenuAction entry);

// The options program's page for an options entry (twin or not); 0 for any other entry.
int OptionsPage(tMenuAction entry);

}  // namespace kv
