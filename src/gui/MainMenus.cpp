#include "gui/MainMenus.h"

#include <utility>

namespace kv {

const std::vector<tMenuEntry>& MenuEntries() {
  static const std::vector<tMenuEntry> entries = {
      // Window menu.
      {"mnuFile", "", -1, mfSubmenu},
      {"mnuSaveLightAs", "mnuFile", 20, 0},
      {"mnuSaveBannerAs", "mnuFile", 20, 0},
      {"mnuSaveStatsAs", "mnuFile", 20, mfDisabled},
      {"mnuSaveTextAs", "mnuFile", 20, mfDisabled},
      {"-", "mnuFile", -1, 0},
      {"mnuSaveStats24As", "mnuFile", 16, mfDisabled},
      {"mnuSaveStats7As", "mnuFile", 19, mfDisabled},
      {"mnuSaveStats31As", "mnuFile", 17, mfDisabled},
      {"mnuSaveStats365As", "mnuFile", 15, mfDisabled},
      {"-", "mnuFile", -1, 0},
      {"mnuExit", "mnuFile", 21, mfDefault},
      {"mnuBack1Day", "", -1, 0},
      {"mnuDisplay", "", -1, mfSubmenu},
      {"mnuStats", "mnuDisplay", -1, mfRadio | mfCheckable | mfChecked | mfDefault},
      {"mnuStats24", "mnuDisplay", -1, mfRadio | mfCheckable},
      {"mnuStats7", "mnuDisplay", -1, mfRadio | mfCheckable},
      {"mnuStats31", "mnuDisplay", -1, mfRadio | mfCheckable | mfDisabled},
      {"mnuStats365", "mnuDisplay", -1, mfRadio | mfCheckable | mfDisabled},
      {"-", "mnuDisplay", -1, 0},
      {"mnuSystemInfo", "mnuDisplay", 25, 0},
      {"mnuGallery", "mnuDisplay", 20, mfDisabled},
      {"-", "mnuDisplay", -1, 0},
      {"mnuLight", "mnuDisplay", -1, mfCheckable},
      {"mnuBanner", "mnuDisplay", -1, mfCheckable},
      {"mnuTextuploader", "mnuDisplay", -1, mfDisabled},
      {"mnuClickThrough", "mnuDisplay", -1, mfCheckable},
      {"-", "mnuDisplay", -1, 0},
      {"mnuCopyToClipboard", "mnuDisplay", 27, mfDisabled},
      {"mnuForward1Day", "", -1, 0},
      {"mnuOptions", "", -1, mfSubmenu},
      {"mnuAutoUpload", "mnuOptions", -1, mfCheckable | mfDefault},
      {"-", "mnuOptions", -1, 0},
      {"mnuCheckForUpdate", "mnuOptions", 14, 0},
      {"-", "mnuOptions", -1, 0},
      {"mnuResetStatistics", "mnuOptions", 18, 0},
      {"-", "mnuOptions", -1, 0},
      {"mnuServerData", "mnuOptions", 11, 0},
      {"mnuImgs", "mnuOptions", 10, 0},
      {"mnuColors", "mnuOptions", 12, 0},
      {"mnuTemperatures", "mnuOptions", 5, 0},
      {"mnuVoltages", "mnuOptions", 6, 0},
      {"mnuFans", "mnuOptions", 2, 0},
      {"mnuMemCPU", "mnuOptions", 1, 0},
      {"mnuNet", "mnuOptions", 4, 0},
      {"mnuDisk", "mnuOptions", 7, 0},
      {"mnuPowerOff", "mnuOptions", 8, 0},
      {"mnuMailing", "mnuOptions", 9, 0},
      {"mnuMisc", "mnuOptions", 0, 0},
      {"mnuDebug", "mnuOptions", 13, 0},
      {"mnuExpert", "mnuOptions", 26, 0},
      {"mnuUpload", "", -1, 0},
      {"mnuHelp", "", -1, mfSubmenu},
      {"mnuKelvara", "mnuHelp", 20, 0},
      {"mnuKelvaraForum", "mnuHelp", 23, 0},
      {"mnuKelvaraChat", "mnuHelp", 23, 0},
      {"-", "mnuHelp", -1, 0},
      {"mnuInfo", "mnuHelp", 25, 0},
      {"mnuReportBug", "", -1, mfDefault},
      // Tray menu; the twins share their icons.
      {"mnuDisplay1", "tray", -1, mfSubmenu},
      {"mnuSystemInfo1", "mnuDisplay1", 25, mfDefault},
      {"mnuGallery1", "mnuDisplay1", 20, mfDisabled},
      {"-", "mnuDisplay1", -1, 0},
      {"mnuLight1", "mnuDisplay1", -1, mfCheckable},
      {"mnuBanner1", "mnuDisplay1", -1, mfCheckable},
      {"mnuTextuploader1", "mnuDisplay1", -1, mfDisabled},
      {"mnuClickThrough1", "mnuDisplay1", -1, mfCheckable},
      {"mnuOptions1", "tray", -1, mfSubmenu},
      {"mnuAutoUpload1", "mnuOptions1", -1, mfCheckable | mfDefault},
      {"-", "mnuOptions1", -1, 0},
      {"mnuCheckForUpdate1", "mnuOptions1", 14, 0},
      {"-", "mnuOptions1", -1, 0},
      {"mnuServerData1", "mnuOptions1", 11, 0},
      {"mnuImgs1", "mnuOptions1", 10, 0},
      {"mnuColors1", "mnuOptions1", 12, 0},
      {"mnuTemperatures1", "mnuOptions1", 5, 0},
      {"mnuVoltages1", "mnuOptions1", 6, 0},
      {"mnuFans1", "mnuOptions1", 2, 0},
      {"mnuMemCPU1", "mnuOptions1", 1, 0},
      {"mnuNet1", "mnuOptions1", 4, 0},
      {"mnuDisk1", "mnuOptions1", 7, 0},
      {"mnuPowerOff1", "mnuOptions1", 8, 0},
      {"mnuMailing1", "mnuOptions1", 9, 0},
      {"mnuMisc1", "mnuOptions1", 0, 0},
      {"mnuDebug1", "mnuOptions1", 13, 0},
      {"mnuExpert1", "mnuOptions1", 26, 0},
      {"mnuTimer", "tray", -1, mfSubmenu},
      {"mnu5h", "mnuTimer", -1, mfDisabled},
      {"mnu3h", "mnuTimer", -1, mfDisabled},
      {"mnu1h", "mnuTimer", -1, mfDisabled},
      {"mnu30m", "mnuTimer", -1, mfDisabled},
      {"mnu10m", "mnuTimer", -1, mfDisabled},
      {"mnu5mIdle", "mnuTimer", -1, mfDisabled},
      {"-", "mnuTimer", -1, 0},
      {"mnuPowerOffSys", "mnuTimer", -1, mfDisabled | mfCheckable},
      {"mnuSuspend", "mnuTimer", -1, mfDisabled | mfCheckable},
      {"mnuHibernation", "mnuTimer", -1, mfDisabled | mfCheckable},
      {"mnuDisablePO", "mnuTimer", -1, mfDisabled},
      {"-", "tray", -1, 0},
      {"mnuKelvara1", "tray", 20, 0},
      {"mnuKelvaraForum1", "tray", 23, 0},
      {"mnuKelvaraChat1", "tray", 23, 0},
      {"mnuInfo1", "tray", 25, 0},
      {"mnuExit1", "tray", 21, 0},
  };
  return entries;
}

int OptionsPage(const std::string& entry) {
  static const std::pair<const char*, int> pages[] = {
      {"mnuServerData", 1}, {"mnuImgs", 2},  {"mnuColors", 3},     {"mnuTemperatures", 4},
      {"mnuVoltages", 5},   {"mnuFans", 6},  {"mnuMemCPU", 7},     {"mnuNet", 8},
      {"mnuDisk", 9},       {"mnuPowerOff", 10}, {"mnuMailing", 11}, {"mnuDebug", 12},
      {"mnuExpert", 13},    {"mnuMisc", 14},
  };
  const std::string name = TwinOf(entry);
  for (const auto& [n, page] : pages)
    if (name == n) return page;
  return 0;
}

std::string TwinOf(const std::string& entry) {
  // A tray twin is its window entry's name with a final "1".
  for (const tMenuEntry& e : MenuEntries()) {
    if (entry != e.name) continue;
    const std::string parent = e.parent;
    const bool inTray = parent == "tray" || parent == "mnuDisplay1" || parent == "mnuOptions1";
    if (inTray && entry.back() == '1') return entry.substr(0, entry.size() - 1);
    break;
  }
  return entry;
}

}  // namespace kv
