#include "displays/ImageSaving.h"

#include <unistd.h>

#include <mutex>

#include "core/EventLog.h"
#include "core/Process.h"
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

tWritten SaveImageFile(const QImage& image, const std::string& nameTemplate) {
  const std::string folder = PictureFolder();
  const std::string name = PictureFileName(FillTemplate(nameTemplate, 0));
  const std::string path = name.starts_with('/') ? name : folder + name;
  LogEvent("Saving " + name);
  std::string error, bytes;
  if (WritePictureFile(image, path, error, &bytes).empty()) {
    LogEvent((FileExtension(name) == ".gif" ? "si2 " : "si4 ") + error);
    return {};
  }
  Ui().ShowStatus(FormatWithText(Texts()->SavedSuccessfully, name));
  return {name, path, std::make_shared<const std::string>(std::move(bytes))};
}

// Draws into a buffer that lives only for this save, so no picture memory stays behind.
tWritten WriteDrawnFile(void (*draw)(QImage&), const std::string& nameTemplate, const char* tag) {
  try {
    QImage buffer;
    draw(buffer);
    // The banner draws nothing until the series holds two samples: no file then, and no
    // encoder error for an empty picture.
    if (buffer.isNull()) {
      LogEvent(std::string(tag) + "nothing drawn yet: " + nameTemplate);
      return {};
    }
    return SaveImageFile(buffer, nameTemplate);
  } catch (const std::exception& e) {
    LogError(tag, e);
    return {};
  }
}

tWritten WriteLight(const std::string& nameTemplate) { return WriteDrawnFile(DrawLight, nameTemplate, "sil "); }

tWritten WriteBanner(const std::string& nameTemplate) { return WriteDrawnFile(DrawBanner, nameTemplate, "sib "); }

std::mutex QueueMutex;
tPendingImage Queue[2];  // by tImageKind
uint64_t LastSerial = 0;

tPendingImage& Entry(tImageKind kind) { return Queue[kind == tImageKind::Light ? 0 : 1]; }

tWritten SetPending(tImageKind kind, tWritten written) {
  const std::lock_guard lock(QueueMutex);
  Entry(kind) = {written.name, written.path, ++LastSerial};
  return written;
}

}  // namespace

std::string PictureFolder() {
  const std::string& local = Settings.LocalPath;
  if (local.empty() || local == "." || local == "./") return SettingsDir;
  std::string folder = IncludeTrailingSlash(local);
  if (!folder.starts_with('/')) folder = SettingsDir + folder;
  // Usable exactly when a change of directory into it would succeed.
  if (FolderExists(folder) && ::access(folder.c_str(), X_OK) == 0) return folder;
  LogEvent("Could not change dir to " + local);
  Ui().ShowStatus(Texts()->KelvaraDir);
  return SettingsDir;
}

std::string SaveImage(const QImage& image, const std::string& nameTemplate) {
  return SaveImageFile(image, nameTemplate).name;
}

std::string WriteLightFile(const std::string& nameTemplate) { return WriteLight(nameTemplate).name; }

std::string WriteBannerFile(const std::string& nameTemplate) { return WriteBanner(nameTemplate).name; }

tPendingImage PendingImage(tImageKind kind) {
  const std::lock_guard lock(QueueMutex);
  return Entry(kind);
}

void ClearPendingImage(tImageKind kind, const tPendingImage& sent) {
  const std::lock_guard lock(QueueMutex);
  tPendingImage& entry = Entry(kind);
  if (entry.serial == sent.serial) entry = {{}, {}, entry.serial};
}

void ClearPendingImages() {
  const std::lock_guard lock(QueueMutex);
  for (tPendingImage& entry : Queue) entry = {{}, {}, ++LastSerial};
}

bool ImagesWaiting() {
  const std::lock_guard lock(QueueMutex);
  return !Queue[0].name.empty() || !Queue[1].name.empty();
}

tSavedPicture TimedLightSave() { return SetPending(tImageKind::Light, WriteLight(Settings.Light)); }

tSavedPicture TimedBannerSave() { return SetPending(tImageKind::Banner, WriteBanner(Settings.Banner)); }

std::string ProposedSaveName(const std::string& setting) {
  return setting.substr(0, setting.size() - FileExtension(setting).size());
}

std::string ChosenSaveName(const std::string& chosen, int filterIndex) {
  if (!FileExtension(chosen).empty()) return chosen;
  return chosen + (filterIndex == 2 ? ".gif" : ".png");
}

std::string SaveLightAs(const std::string& chosen, int filterIndex) {
  return WriteLightFile(ChosenSaveName(chosen, filterIndex));
}

std::string SaveBannerAs(const std::string& chosen, int filterIndex) {
  return WriteBannerFile(ChosenSaveName(chosen, filterIndex));
}

}  // namespace kv
