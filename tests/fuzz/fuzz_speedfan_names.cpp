// SpeedFan's sensor file, which names the channels it feeds.
#include <exception>

#include "FuzzSupport.h"
#include "readvalue/SpeedFan.h"
#include "settings/Channels.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kvfuzz::Init();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvtest::PassState& s = kvfuzz::FreshSensorState();
  const std::string path = kv::SpeedFanFolder(s.Process.AppDir) + kv::SpeedFanSensorFile;
  kvfuzz::WriteFile(path, data, size);
  try {
    if (!kv::ReadSpeedFanNames(s.Ctx, path)) kvfuzz::Fail("a present sensor file was not read");
  } catch (const std::exception&) {
    // The pass step logs a broken file and stops asking for it.
  }
  return 0;
}
