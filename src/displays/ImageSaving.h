#pragma once
// Saving the light and the banner as picture files, on the timers and on demand, and the upload
// queue those timed saves fill.
//
// Pictures go to the LocalPath folder (a relative one counts from the settings folder). The
// process's current directory is never changed: saving resolves full paths instead, so other
// threads that open relative paths are not moved under their feet.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include <QImage>

#include "displays/DisplayData.h"

namespace kv {

class UiPort;

// The folder pictures are written to, ending in "/": LocalPath, or the settings folder when
// LocalPath is empty or "." or cannot be entered (logged "Could not change dir to " + LocalPath,
// with the KelvaraDir text in the status line).
std::string PictureFolder(const tSettings& settings, const tProcessFacts& process, UiPort& ui);

// Draw d into a buffer of their own and save it under the name the template gives
// (placeholders filled with time 0, ".png" appended unless it ends in .png or .gif; an absolute
// name is used as is, any other lands in the picture folder). Returns the name written, or
// empty ("sil ", "sib ", and "si2 " or "si4 " from the encoder).
std::string WriteLightFile(const tDisplayData& d, UiPort& ui, const std::string& nameTemplate);
std::string WriteBannerFile(const tDisplayData& d, UiPort& ui, const std::string& nameTemplate);

// ---- Upload queue: set by the main thread, read and emptied by the upload thread. ----

enum class tImageKind { Light, Banner };

struct tPendingImage {
  std::string name;  // as written, the name the upload gives it; empty: nothing waiting
  std::string path;  // where it was written
  uint64_t serial = 0;  // changes with every timed save
};

// PendingLight and PendingBanner, under one mutex.
class tPictureQueue {
 public:
  tPendingImage Pending(tImageKind kind) const;
  // Empties the entry once its file is transferred, unless a newer save has replaced `sent` since.
  void Clear(tImageKind kind, const tPendingImage& sent);
  // Empties both (start-up, statistics reset).
  void ClearAll();
  // A file of either kind is waiting for upload.
  bool Waiting() const;
  // A timed save: what it wrote (an empty name: nothing) becomes the entry.
  void Set(tImageKind kind, std::string name, std::string path);

 private:
  tPendingImage& Entry(tImageKind kind) { return entries_[kind == tImageKind::Light ? 0 : 1]; }
  const tPendingImage& Entry(tImageKind kind) const { return entries_[kind == tImageKind::Light ? 0 : 1]; }

  mutable std::mutex mutex_;
  tPendingImage entries_[2];
  uint64_t lastSerial_ = 0;
};

// A picture as a save wrote it; all empty when nothing was written.
struct tSavedPicture {
  std::string name, path;
  std::shared_ptr<const std::string> bytes;  // the file's content
};

// The bodies of the light and banner timers (the caller re-arms the timers): save the picture
// and queue it; a save that wrote nothing empties the entry.
tSavedPicture TimedLightSave(const tDisplayData& d, UiPort& ui, tPictureQueue& queue);
tSavedPicture TimedBannerSave(const tDisplayData& d, UiPort& ui, tPictureQueue& queue);

// ---- Save-as commands; the window shows the dialog. ----

// The name the dialog proposes: the setting's file name without its extension.
std::string ProposedSaveName(const std::string& setting);
// The chosen name, with ".png" (filter 1) or ".gif" (filter 2) added when it has no extension.
std::string ChosenSaveName(const std::string& chosen, int filterIndex);
// Writes the picture under the chosen name; the upload queue is not touched.
std::string SaveLightAs(const tDisplayData& d, UiPort& ui, const std::string& chosen, int filterIndex);
std::string SaveBannerAs(const tDisplayData& d, UiPort& ui, const std::string& chosen, int filterIndex);

}  // namespace kv
