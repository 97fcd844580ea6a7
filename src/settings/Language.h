#pragma once
// The texts of the language files: the "Messages" texts, read whole by any thread, and the
// menu captions of section "Main", which the main window applies on the main thread.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/Process.h"
#include "settings/MessageKeys.h"

namespace kv {

// One text per "Messages" key, named like the key ("DisableAutoUpload.Caption" is
// DisableAutoUploadCaption). Immutable once published.
struct tTexts {
#define KV_TEXT_FIELD(field, key) std::string field;
  KV_MESSAGE_KEYS(KV_TEXT_FIELD)
#undef KV_TEXT_FIELD
};

// The current texts. A worker keeps the pointer for as long as it needs a consistent set; a
// language change publishes a new set and never changes one in place.
std::shared_ptr<const tTexts> Texts();
// Empties every text (the state before any file is loaded).
void ResetTexts();

// Reads "Messages" of the language file fileName (a data file of the program) over the current
// texts; a missing key or file keeps the current text.
void LoadLanguage(const tProcessFacts& process, const std::string& fileName);
// The message keys in reading order.
std::vector<std::string> MessageKeyNames();

// Menu captions by component name, for the main window. Main thread only.
struct tCaptions {
  std::vector<std::pair<std::string, std::string>> entries;  // component name, caption
  std::string ActionAt;
  std::string POSuspendInactive;
  std::string SaveFilter;  // the save dialog's filter: PNG first, GIF second

  // The caption of a menu entry (any letter case); empty for an unknown name.
  std::string Caption(const std::string& name) const;
  bool Has(const std::string& name) const;
};

// The captions as the window description gives them, before any language file.
tCaptions FormCaptions();
// The current captions (starting as FormCaptions()).
const tCaptions& Captions();
void ResetCaptions();
// Reads "Main" of the language file fileName into the captions, then derives the tray twins, the
// view entries, the power entries and the save filter from them and from the texts.
void ApplyCaptions(const tProcessFacts& process, const std::string& fileName);

}  // namespace kv
