#include "displays/ImageSaving.h"

#include <unistd.h>

#include "core/EventLog.h"
#include "core/Text.h"
#include "core/UiPort.h"
#include "displays/Banner.h"
#include "displays/Formatting.h"
#include "displays/Light.h"
#include "displays/PictureFile.h"
#include "displays/Placeholders.h"
#include "platform/Files.h"
#include "settings/Language.h"
#include "settings/Settings.h"

namespace kv {

namespace {

using tWritten = tSavedPicture;

tWritten SaveImageFile(const tDisplayData& d, UiPort& ui, const QImage& image, const std::string& nameTemplate) {
  const std::string folder = PictureFolder(d.Settings, d.Process, ui);
  const std::string name = PictureFileName(FillTemplate(d, nameTemplate, 0));
  const std::string path = name.starts_with('/') ? name : folder + name;
  LogEvent("Saving " + name);
  std::string error, bytes;
  if (WritePictureFile(image, path, error, &bytes).empty()) {
    LogEvent((FileExtension(name) == ".gif" ? "si2 " : "si4 ") + error);
    return {};
  }
  ui.ShowStatus(FormatWithText(Texts()->SavedSuccessfully, name));
  return {name, path, std::make_shared<const std::string>(std::move(bytes))};
}

using tDraw = void (*)(QImage&, const tDisplayData&);

// Draws into a buffer that lives only for this save, so no picture memory stays behind.
tWritten WriteDrawnFile(const tDisplayData& d, UiPort& ui, tDraw draw, const std::string& nameTemplate,
                        const char* tag) {
  try {
    QImage buffer;
    draw(buffer, d);
    // The banner draws nothing until the series holds two samples: no file then, and no
    // encoder error for an empty picture.
    if (buffer.isNull()) {
      LogEvent(std::string(tag) + "nothing drawn yet: " + nameTemplate);
      return {};
    }
    return SaveImageFile(d, ui, buffer, nameTemplate);
  } catch (const std::exception& e) {
    LogError(tag, e);
    return {};
  }
}

tWritten WriteLight(const tDisplayData& d, UiPort& ui, const std::string& nameTemplate) {
  return WriteDrawnFile(d, ui, [](QImage& i, const tDisplayData& data) { DrawLight(i, data); }, nameTemplate, "sil ");
}

tWritten WriteBanner(const tDisplayData& d, UiPort& ui, const std::string& nameTemplate) {
  return WriteDrawnFile(d, ui, [](QImage& i, const tDisplayData& data) { DrawBanner(i, data); }, nameTemplate, "sib ");
}

}  // namespace

std::string PictureFolder(const tSettings& settings, const tProcessFacts& process, UiPort& ui) {
  const std::string& local = settings.LocalPath;
  if (local.empty() || local == "." || local == "./") return process.SettingsDir;
  std::string folder = IncludeTrailingSlash(local);
  if (!folder.starts_with('/')) folder = process.SettingsDir + folder;
  // Usable exactly when a change of directory into it would succeed.
  if (FolderExists(folder) && ::access(folder.c_str(), X_OK) == 0) return folder;
  LogEvent("Could not change dir to " + local);
  ui.ShowStatus(Texts()->KelvaraDir);
  return process.SettingsDir;
}

std::string WriteLightFile(const tDisplayData& d, UiPort& ui, const std::string& nameTemplate) {
  return WriteLight(d, ui, nameTemplate).name;
}

std::string WriteBannerFile(const tDisplayData& d, UiPort& ui, const std::string& nameTemplate) {
  return WriteBanner(d, ui, nameTemplate).name;
}

tPendingImage tPictureQueue::Pending(tImageKind kind) const {
  const std::lock_guard lock(mutex_);
  return Entry(kind);
}

void tPictureQueue::Clear(tImageKind kind, const tPendingImage& sent) {
  const std::lock_guard lock(mutex_);
  tPendingImage& entry = Entry(kind);
  if (entry.serial == sent.serial) entry = {{}, {}, entry.serial};
}

void tPictureQueue::ClearAll() {
  const std::lock_guard lock(mutex_);
  for (tPendingImage& entry : entries_) entry = {{}, {}, ++lastSerial_};
}

bool tPictureQueue::Waiting() const {
  const std::lock_guard lock(mutex_);
  return !entries_[0].name.empty() || !entries_[1].name.empty();
}

void tPictureQueue::Set(tImageKind kind, std::string name, std::string path) {
  const std::lock_guard lock(mutex_);
  Entry(kind) = {std::move(name), std::move(path), ++lastSerial_};
}

tSavedPicture TimedLightSave(const tDisplayData& d, UiPort& ui, tPictureQueue& queue) {
  tWritten written = WriteLight(d, ui, d.Settings.Light);
  queue.Set(tImageKind::Light, written.name, written.path);
  return written;
}

tSavedPicture TimedBannerSave(const tDisplayData& d, UiPort& ui, tPictureQueue& queue) {
  tWritten written = WriteBanner(d, ui, d.Settings.Banner);
  queue.Set(tImageKind::Banner, written.name, written.path);
  return written;
}

std::string ProposedSaveName(const std::string& setting) {
  return setting.substr(0, setting.size() - FileExtension(setting).size());
}

std::string ChosenSaveName(const std::string& chosen, int filterIndex) {
  if (!FileExtension(chosen).empty()) return chosen;
  return chosen + (filterIndex == 2 ? ".gif" : ".png");
}

std::string SaveLightAs(const tDisplayData& d, UiPort& ui, const std::string& chosen, int filterIndex) {
  return WriteLightFile(d, ui, ChosenSaveName(chosen, filterIndex));
}

std::string SaveBannerAs(const tDisplayData& d, UiPort& ui, const std::string& chosen, int filterIndex) {
  return WriteBannerFile(d, ui, ChosenSaveName(chosen, filterIndex));
}

}  // namespace kv
