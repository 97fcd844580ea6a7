// KVLight.txt as the light reads it: the file split into bounded lines, each filled with the
// light's placeholders. The drawing of those lines is fuzz_kvlight's (far slower per input).
#include <exception>
#include <string>

#include "DisplayState.h"
#include "displays/Light.h"
#include "displays/Placeholders.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kvfuzz::Init();
  kvfuzz::FixedEnvironment();
  kvfuzz::LoadUnitTexts();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvtest::SeriesState& s = kvfuzz::SetReadings();
  const std::string path = s.Process.SettingsDir + kv::LightTemplateName;
  kvfuzz::WriteFile(path, data, size);
  try {
    const auto lines = kv::ReadTemplateLines(path);
    if (!lines) kvfuzz::Fail("a present template was not read");
    size_t bytes = 0;
    for (const std::string& line : *lines) {
      if (line.size() > 512) kvfuzz::Fail("a template line longer than 512 bytes");
      bytes += line.size();
      if (kv::FillLightTemplate(kvfuzz::Display(s), line, kvfuzz::FixedTime).size() > 4 * 1024 * 1024)
        kvfuzz::Fail("a filled light line beyond 4 MiB");
    }
    if (bytes > 64 * 1024) kvfuzz::Fail("more than 64 KiB of template read");
  } catch (const std::exception&) {
    // An unreadable template is the drawing's to log.
  }
  return 0;
}
