#include "settings/Language.h"

#include <atomic>

#include "core/Process.h"
#include "core/Text.h"
#include "platform/DataFiles.h"
#include "settings/IniFile.h"

namespace kv {

namespace {

struct tMessageKey {
  const char* key;
  std::string tTexts::*field;
};

const tMessageKey MessageKeys[] = {
#define KV_MESSAGE_ENTRY(field, key) {key, &tTexts::field},
    KV_MESSAGE_KEYS(KV_MESSAGE_ENTRY)
#undef KV_MESSAGE_ENTRY
};

std::atomic<std::shared_ptr<const tTexts>> CurrentTexts{std::make_shared<const tTexts>()};

// Menu entries of the main window and the tray menu with their captions in the window
// description: the component name, except for a few fixed ones.
const std::pair<const char*, const char*> FormMenuEntries[] = {
    {"mnuFile", ""}, {"mnuSaveLightAs", ""}, {"mnuSaveBannerAs", ""}, {"mnuSaveStatsAs", ""},
    {"mnuSaveTextAs", ""}, {"mnuSaveStats24As", ""}, {"mnuSaveStats7As", ""},
    {"mnuSaveStats31As", ""}, {"mnuSaveStats365As", ""}, {"mnuExit", ""},
    {"mnuBack1Day", "<"}, {"mnuDisplay", ""}, {"mnuStats", ""}, {"mnuStats24", ""},
    {"mnuStats7", ""}, {"mnuStats31", ""}, {"mnuStats365", ""}, {"mnuSystemInfo", ""},
    {"mnuGallery", ""}, {"mnuLight", ""}, {"mnuBanner", ""}, {"mnuTextuploader", ""},
    {"mnuClickThrough", ""}, {"mnuCopyToClipboard", ""}, {"mnuForward1Day", ">"},
    {"mnuOptions", ""}, {"mnuAutoUpload", ""}, {"mnuCheckForUpdate", ""},
    {"mnuResetStatistics", ""}, {"mnuServerData", ""}, {"mnuImgs", ""}, {"mnuColors", ""},
    {"mnuTemperatures", ""}, {"mnuVoltages", ""}, {"mnuFans", ""}, {"mnuMemCPU", ""},
    {"mnuNet", ""}, {"mnuDisk", ""}, {"mnuPowerOff", ""}, {"mnuMailing", ""}, {"mnuMisc", ""},
    {"mnuDebug", "Debug..."}, {"mnuExpert", "Expert..."}, {"mnuUpload", ""}, {"mnuHelp", ""},
    {"mnuKelvara", ""}, {"mnuKelvaraForum", ""}, {"mnuKelvaraChat", ""}, {"mnuInfo", ""},
    {"mnuReportBug", "Report a bug..."},
    // tray menu
    {"mnuDisplay1", ""}, {"mnuSystemInfo1", ""}, {"mnuGallery1", ""}, {"mnuLight1", ""},
    {"mnuBanner1", ""}, {"mnuTextuploader1", ""}, {"mnuClickThrough1", ""},
    {"mnuOptions1", ""}, {"mnuAutoUpload1", ""}, {"mnuCheckForUpdate1", ""},
    {"mnuServerData1", ""}, {"mnuImgs1", ""}, {"mnuColors1", ""}, {"mnuTemperatures1", ""},
    {"mnuVoltages1", ""}, {"mnuFans1", ""}, {"mnuMemCPU1", ""}, {"mnuNet1", ""},
    {"mnuDisk1", ""}, {"mnuPowerOff1", ""}, {"mnuMailing1", ""}, {"mnuMisc1", ""},
    {"mnuDebug1", "Debug..."}, {"mnuExpert1", "Expert ..."}, {"mnuTimer", ""},
    {"mnuKelvara1", ""}, {"mnuKelvaraForum1", ""}, {"mnuKelvaraChat1", ""}, {"mnuInfo1", ""},
    {"mnuExit1", ""},
    // power submenu of the tray menu
    {"mnu5h", ""}, {"mnu3h", ""}, {"mnu1h", ""}, {"mnu30m", ""}, {"mnu10m", ""},
    {"mnu5mIdle", ""}, {"mnuPowerOffSys", ""}, {"mnuSuspend", ""}, {"mnuHibernation", ""},
    {"mnuDisablePO", ""},
};

// Tray entries that show the caption of the window-menu entry without the final "1".
const char* const TrayTwins[] = {
    "mnuExit1", "mnuDisplay1", "mnuSystemInfo1", "mnuLight1", "mnuBanner1",
    "mnuTextuploader1", "mnuClickThrough1", "mnuGallery1", "mnuOptions1", "mnuAutoUpload1",
    "mnuInfo1", "mnuKelvaraForum1", "mnuKelvaraChat1", "mnuServerData1", "mnuImgs1",
    "mnuColors1", "mnuTemperatures1", "mnuVoltages1", "mnuFans1", "mnuMemCPU1", "mnuNet1",
    "mnuDisk1", "mnuPowerOff1", "mnuMailing1", "mnuMisc1", "mnuCheckForUpdate1",
};

tCaptions CurrentCaptions = FormCaptions();

std::string* Entry(tCaptions& c, const std::string& name) {
  for (auto& [entryName, caption] : c.entries)
    if (SameText(entryName, name)) return &caption;
  return nullptr;
}

void SetCaption(tCaptions& c, const std::string& name, const std::string& caption) {
  if (std::string* entry = Entry(c, name)) *entry = caption;
}

}  // namespace

std::shared_ptr<const tTexts> Texts() { return CurrentTexts.load(); }

void ResetTexts() { CurrentTexts.store(std::make_shared<const tTexts>()); }

std::vector<std::string> MessageKeyNames() {
  std::vector<std::string> names;
  for (const tMessageKey& k : MessageKeys) names.emplace_back(k.key);
  return names;
}

void LoadLanguage(const tProcessFacts& process, const std::string& fileName) {
  const IniFile ini(DataFile(fileName, process));
  auto next = std::make_shared<tTexts>(*Texts());
  for (const tMessageKey& k : MessageKeys)
    (*next).*k.field = ini.ReadString("Messages", k.key, (*next).*k.field);
  CurrentTexts.store(std::move(next));
}

std::string tCaptions::Caption(const std::string& name) const {
  for (const auto& [entryName, caption] : entries)
    if (SameText(entryName, name)) return caption;
  return {};
}

bool tCaptions::Has(const std::string& name) const {
  for (const auto& entry : entries)
    if (SameText(entry.first, name)) return true;
  return false;
}

tCaptions FormCaptions() {
  tCaptions c;
  for (const auto& [name, fixed] : FormMenuEntries)
    c.entries.emplace_back(name, *fixed ? fixed : name);
  return c;
}

const tCaptions& Captions() { return CurrentCaptions; }

void ResetCaptions() { CurrentCaptions = FormCaptions(); }

void ApplyCaptions(const tProcessFacts& process, const std::string& fileName) {
  const IniFile ini(DataFile(fileName, process));
  tCaptions& c = CurrentCaptions;
  const std::string suffix = ".Caption";
  for (const std::string& key : ini.Keys("Main")) {
    const size_t at = key.find(suffix);  // this exact letter case only
    if (at == std::string::npos) continue;
    if (std::string* caption = Entry(c, key.substr(0, at)))
      *caption = ini.ReadString("Main", key, *caption);
  }
  for (const char* twin : TrayTwins) {
    const std::string name(twin);
    SetCaption(c, name, c.Caption(name.substr(0, name.size() - 1)));
  }
  const std::shared_ptr<const tTexts> t = Texts();
  SetCaption(c, "mnuStats24", t->Stats24);
  SetCaption(c, "mnuStats7", t->Stats7);
  SetCaption(c, "mnuStats31", t->Stats31);
  SetCaption(c, "mnuStats365", t->Stats365);
  c.ActionAt = ini.ReadString("Main", "ActionAt", c.ActionAt);
  c.POSuspendInactive = ini.ReadString("Main", "POSuspendInactive", c.POSuspendInactive);
  SetCaption(c, "mnu10m", "10 " + t->Minutes);
  SetCaption(c, "mnu30m", "30 " + t->Minutes);
  SetCaption(c, "mnu1h", "1 " + t->Hour);
  SetCaption(c, "mnu3h", "3 " + t->Hours);
  SetCaption(c, "mnu5h", "5 " + t->Hours);
  c.SaveFilter = t->PNGImages + " (*.png)|*.png|" + t->GIFImages + " (*.gif)|*.gif";
}

}  // namespace kv
