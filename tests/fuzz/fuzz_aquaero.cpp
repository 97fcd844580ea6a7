// The aquaero software's aquaero.xml, read through the file reader as the pass reads it.
#include <exception>

#include "FuzzSupport.h"
#include "readvalue/Aquaero.h"
#include "settings/Channels.h"
#include "settings/Settings.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kvfuzz::Init();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvtest::PassState& s = kvfuzz::FreshSensorState();
  s.Settings.AquaeroPath = kvfuzz::Folder();
  kvfuzz::WriteFile(kvfuzz::Folder() + kv::AquaeroFile, data, size);
  try {
    kv::ReadAquaeroFile(s.Ctx);
  } catch (const std::exception&) {
    // Refused files show in the step's health only.
  }
  if (s.Settings.AquaeroPath != kvfuzz::Folder()) kvfuzz::Fail("a present file moved AquaeroPath");
  return 0;
}
