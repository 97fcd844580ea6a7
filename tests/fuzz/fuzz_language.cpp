// A language file from the program folder: its message texts and its menu captions, loaded
// over a fresh state each time.
#include <string>

#include "FuzzSupport.h"
#include "settings/Language.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kvfuzz::Init();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kv::ResetTexts();
  kv::ResetCaptions();
  kvfuzz::WriteFile(kvfuzz::Facts().AppDir + "Fuzz.lng", data, size);
  kv::LoadLanguage(kvfuzz::Facts(), "Fuzz.lng");
  kv::ApplyCaptions(kvfuzz::Facts(), "Fuzz.lng");
  if (kv::Captions().entries.size() != kv::FormCaptions().entries.size()) kvfuzz::Fail("a file added or lost a menu entry");
  return 0;
}
