#pragma once
// Saving the light and the banner as picture files, on the timers and on demand, and the upload
// queue those timed saves fill.
//
// Pictures go to the LocalPath folder (a relative one counts from SettingsDir). The process's
// current directory is never changed: saving resolves full paths instead, so other threads that
// open relative paths are not moved under their feet.
#include <cstdint>
#include <memory>
#include <string>

#include <QImage>

namespace kv {

// The folder pictures are written to, ending in "/": LocalPath, or SettingsDir when LocalPath is
// empty or "." or cannot be entered (logged "Could not change dir to " + LocalPath, with the
// KelvaraDir text in the status line).
std::string PictureFolder();

// Encodes image as PNG or GIF under the name the template gives (placeholders filled with
// time 0, ".png" appended unless it ends in .png or .gif); an absolute name is used as is, any
// other lands in PictureFolder(). Returns the name written, or empty ("si2 ", "si4 ").
std::string SaveImage(const QImage& image, const std::string& nameTemplate);

// Draw into a buffer of their own and save it; empty when nothing was written ("sil ", "sib ").
std::string WriteLightFile(const std::string& nameTemplate);
std::string WriteBannerFile(const std::string& nameTemplate);

// ---- Upload queue: set by the main thread, read and emptied by the upload thread. ----

enum class tImageKind { Light, Banner };

struct tPendingImage {
  std::string name;  // as written, the name the upload gives it; empty: nothing waiting
  std::string path;  // where it was written
  uint64_t serial = 0;  // changes with every timed save
};

// PendingLight and PendingBanner.
tPendingImage PendingImage(tImageKind kind);
// Empties the entry once its file is transferred, unless a newer save has replaced `sent` since.
void ClearPendingImage(tImageKind kind, const tPendingImage& sent);
// Empties both (start-up, statistics reset).
void ClearPendingImages();
// A file of either kind is waiting for upload.
bool ImagesWaiting();

// A picture as a save wrote it; all empty when nothing was written.
struct tSavedPicture {
  std::string name, path;
  std::shared_ptr<const std::string> bytes;  // the file's content
};

// The bodies of the light and banner timers (the caller re-arms the timers): save the picture
// and queue it; a save that wrote nothing empties the entry.
tSavedPicture TimedLightSave();
tSavedPicture TimedBannerSave();

// ---- Save-as commands; the window shows the dialog. ----

// The name the dialog proposes: the setting's file name without its extension.
std::string ProposedSaveName(const std::string& setting);
// The chosen name, with ".png" (filter 1) or ".gif" (filter 2) added when it has no extension.
std::string ChosenSaveName(const std::string& chosen, int filterIndex);
// Writes the picture under the chosen name; the upload queue is not touched.
std::string SaveLightAs(const std::string& chosen, int filterIndex);
std::string SaveBannerAs(const std::string& chosen, int filterIndex);

}  // namespace kv
