#include "gui/MainMenus.h"

#include <utility>

namespace kv {

using A = tMenuAction;

const std::vector<tMenuEntry>& MenuEntries() {
  static const std::vector<tMenuEntry> entries = {
      // Window menu.
      {A::File, "mnuFile", A::Bar, -1, mfSubmenu},
      {A::SaveLightAs, "mnuSaveLightAs", A::File, 20, 0},
      {A::SaveBannerAs, "mnuSaveBannerAs", A::File, 20, 0},
      {A::SaveStatsAs, "mnuSaveStatsAs", A::File, 20, mfDisabled},
      {A::SaveTextAs, "mnuSaveTextAs", A::File, 20, mfDisabled},
      {A::None, "-", A::File, -1, 0},
      {A::SaveStats24As, "mnuSaveStats24As", A::File, 16, mfDisabled},
      {A::SaveStats7As, "mnuSaveStats7As", A::File, 19, mfDisabled},
      {A::SaveStats31As, "mnuSaveStats31As", A::File, 17, mfDisabled},
      {A::SaveStats365As, "mnuSaveStats365As", A::File, 15, mfDisabled},
      {A::None, "-", A::File, -1, 0},
      {A::Exit, "mnuExit", A::File, 21, mfDefault},
      {A::Back1Day, "mnuBack1Day", A::Bar, -1, 0},
      {A::Display, "mnuDisplay", A::Bar, -1, mfSubmenu},
      {A::Stats, "mnuStats", A::Display, -1, mfRadio | mfCheckable | mfChecked | mfDefault},
      {A::Stats24, "mnuStats24", A::Display, -1, mfRadio | mfCheckable},
      {A::Stats7, "mnuStats7", A::Display, -1, mfRadio | mfCheckable},
      {A::Stats31, "mnuStats31", A::Display, -1, mfRadio | mfCheckable | mfDisabled},
      {A::Stats365, "mnuStats365", A::Display, -1, mfRadio | mfCheckable | mfDisabled},
      {A::None, "-", A::Display, -1, 0},
      {A::SystemInfo, "mnuSystemInfo", A::Display, 25, 0},
      {A::Gallery, "mnuGallery", A::Display, 20, mfDisabled},
      {A::None, "-", A::Display, -1, 0},
      {A::Light, "mnuLight", A::Display, -1, mfCheckable},
      {A::Banner, "mnuBanner", A::Display, -1, mfCheckable},
      {A::Textuploader, "mnuTextuploader", A::Display, -1, mfDisabled},
      {A::ClickThrough, "mnuClickThrough", A::Display, -1, mfCheckable},
      {A::None, "-", A::Display, -1, 0},
      {A::CopyToClipboard, "mnuCopyToClipboard", A::Display, 27, mfDisabled},
      {A::Forward1Day, "mnuForward1Day", A::Bar, -1, 0},
      {A::Options, "mnuOptions", A::Bar, -1, mfSubmenu},
      {A::AutoUpload, "mnuAutoUpload", A::Options, -1, mfCheckable | mfDefault},
      {A::None, "-", A::Options, -1, 0},
      {A::CheckForUpdate, "mnuCheckForUpdate", A::Options, 14, 0},
      {A::None, "-", A::Options, -1, 0},
      {A::ResetStatistics, "mnuResetStatistics", A::Options, 18, 0},
      {A::None, "-", A::Options, -1, 0},
      {A::ServerData, "mnuServerData", A::Options, 11, 0},
      {A::Imgs, "mnuImgs", A::Options, 10, 0},
      {A::Colors, "mnuColors", A::Options, 12, 0},
      {A::Temperatures, "mnuTemperatures", A::Options, 5, 0},
      {A::Voltages, "mnuVoltages", A::Options, 6, 0},
      {A::Fans, "mnuFans", A::Options, 2, 0},
      {A::MemCPU, "mnuMemCPU", A::Options, 1, 0},
      {A::Net, "mnuNet", A::Options, 4, 0},
      {A::Disk, "mnuDisk", A::Options, 7, 0},
      {A::PowerOff, "mnuPowerOff", A::Options, 8, 0},
      {A::Mailing, "mnuMailing", A::Options, 9, 0},
      {A::Misc, "mnuMisc", A::Options, 0, 0},
      {A::Debug, "mnuDebug", A::Options, 13, 0},
      {A::Expert, "mnuExpert", A::Options, 26, 0},
      {A::Upload, "mnuUpload", A::Bar, -1, 0},
      {A::Help, "mnuHelp", A::Bar, -1, mfSubmenu},
      {A::Kelvara, "mnuKelvara", A::Help, 20, 0},
      {A::KelvaraForum, "mnuKelvaraForum", A::Help, 23, 0},
      {A::KelvaraChat, "mnuKelvaraChat", A::Help, 23, 0},
      {A::None, "-", A::Help, -1, 0},
      {A::Info, "mnuInfo", A::Help, 25, 0},
      {A::ReportBug, "mnuReportBug", A::Bar, -1, mfDefault},
      // Tray menu; the twins share their icons.
      {A::Display1, "mnuDisplay1", A::Tray, -1, mfSubmenu},
      {A::SystemInfo1, "mnuSystemInfo1", A::Display1, 25, mfDefault},
      {A::Gallery1, "mnuGallery1", A::Display1, 20, mfDisabled},
      {A::None, "-", A::Display1, -1, 0},
      {A::Light1, "mnuLight1", A::Display1, -1, mfCheckable},
      {A::Banner1, "mnuBanner1", A::Display1, -1, mfCheckable},
      {A::Textuploader1, "mnuTextuploader1", A::Display1, -1, mfDisabled},
      {A::ClickThrough1, "mnuClickThrough1", A::Display1, -1, mfCheckable},
      {A::Options1, "mnuOptions1", A::Tray, -1, mfSubmenu},
      {A::AutoUpload1, "mnuAutoUpload1", A::Options1, -1, mfCheckable | mfDefault},
      {A::None, "-", A::Options1, -1, 0},
      {A::CheckForUpdate1, "mnuCheckForUpdate1", A::Options1, 14, 0},
      {A::None, "-", A::Options1, -1, 0},
      {A::ServerData1, "mnuServerData1", A::Options1, 11, 0},
      {A::Imgs1, "mnuImgs1", A::Options1, 10, 0},
      {A::Colors1, "mnuColors1", A::Options1, 12, 0},
      {A::Temperatures1, "mnuTemperatures1", A::Options1, 5, 0},
      {A::Voltages1, "mnuVoltages1", A::Options1, 6, 0},
      {A::Fans1, "mnuFans1", A::Options1, 2, 0},
      {A::MemCPU1, "mnuMemCPU1", A::Options1, 1, 0},
      {A::Net1, "mnuNet1", A::Options1, 4, 0},
      {A::Disk1, "mnuDisk1", A::Options1, 7, 0},
      {A::PowerOff1, "mnuPowerOff1", A::Options1, 8, 0},
      {A::Mailing1, "mnuMailing1", A::Options1, 9, 0},
      {A::Misc1, "mnuMisc1", A::Options1, 0, 0},
      {A::Debug1, "mnuDebug1", A::Options1, 13, 0},
      {A::Expert1, "mnuExpert1", A::Options1, 26, 0},
      {A::Timer, "mnuTimer", A::Tray, -1, mfSubmenu},
      {A::T5h, "mnu5h", A::Timer, -1, mfDisabled},
      {A::T3h, "mnu3h", A::Timer, -1, mfDisabled},
      {A::T1h, "mnu1h", A::Timer, -1, mfDisabled},
      {A::T30m, "mnu30m", A::Timer, -1, mfDisabled},
      {A::T10m, "mnu10m", A::Timer, -1, mfDisabled},
      {A::T5mIdle, "mnu5mIdle", A::Timer, -1, mfDisabled},
      {A::None, "-", A::Timer, -1, 0},
      {A::PowerOffSys, "mnuPowerOffSys", A::Timer, -1, mfDisabled | mfCheckable},
      {A::Suspend, "mnuSuspend", A::Timer, -1, mfDisabled | mfCheckable},
      {A::Hibernation, "mnuHibernation", A::Timer, -1, mfDisabled | mfCheckable},
      {A::DisablePO, "mnuDisablePO", A::Timer, -1, mfDisabled},
      {A::None, "-", A::Tray, -1, 0},
      {A::Kelvara1, "mnuKelvara1", A::Tray, 20, 0},
      {A::KelvaraForum1, "mnuKelvaraForum1", A::Tray, 23, 0},
      {A::KelvaraChat1, "mnuKelvaraChat1", A::Tray, 23, 0},
      {A::Info1, "mnuInfo1", A::Tray, 25, 0},
      {A::Exit1, "mnuExit1", A::Tray, 21, 0},
  };
  return entries;
}

tMenuAction TwinOf(tMenuAction entry) {
  // Each tray twin and its window entry.
  static constexpr std::pair<A, A> twins[] = {
      {A::Display1, A::Display},           {A::SystemInfo1, A::SystemInfo},   {A::Gallery1, A::Gallery},
      {A::Light1, A::Light},               {A::Banner1, A::Banner},           {A::Textuploader1, A::Textuploader},
      {A::ClickThrough1, A::ClickThrough}, {A::Options1, A::Options},         {A::AutoUpload1, A::AutoUpload},
      {A::CheckForUpdate1, A::CheckForUpdate}, {A::ServerData1, A::ServerData}, {A::Imgs1, A::Imgs},
      {A::Colors1, A::Colors},             {A::Temperatures1, A::Temperatures}, {A::Voltages1, A::Voltages},
      {A::Fans1, A::Fans},                 {A::MemCPU1, A::MemCPU},           {A::Net1, A::Net},
      {A::Disk1, A::Disk},                 {A::PowerOff1, A::PowerOff},       {A::Mailing1, A::Mailing},
      {A::Misc1, A::Misc},                 {A::Debug1, A::Debug},             {A::Expert1, A::Expert},
      {A::Kelvara1, A::Kelvara},           {A::KelvaraForum1, A::KelvaraForum}, {A::KelvaraChat1, A::KelvaraChat},
      {A::Info1, A::Info},                 {A::Exit1, A::Exit},
  };
  for (const auto& [twin, own] : twins)
    if (entry == twin) return own;
  return entry;
}

int OptionsPage(tMenuAction entry) {
  static constexpr std::pair<A, int> pages[] = {
      {A::ServerData, 1}, {A::Imgs, 2},  {A::Colors, 3},     {A::Temperatures, 4},
      {A::Voltages, 5},   {A::Fans, 6},  {A::MemCPU, 7},     {A::Net, 8},
      {A::Disk, 9},       {A::PowerOff, 10}, {A::Mailing, 11}, {A::Debug, 12},
      {A::Expert, 13},    {A::Misc, 14},
  };
  const tMenuAction own = TwinOf(entry);
  for (const auto& [e, page] : pages)
    if (own == e) return page;
  return 0;
}

}  // namespace kv
