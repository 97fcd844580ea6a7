// The placeholder filler with the fuzz text as the template (a channel label, a picture file
// name, a light line): the base set and the light set, with readings in every group. The
// output must stay bounded.
#include <string>

#include "DisplayState.h"
#include "displays/Placeholders.h"

namespace {
// Generous: the environment stops growing at 64 KiB, and no other placeholder more than
// multiplies its own length by a small factor.
constexpr size_t OutputLimit = 4 * 1024 * 1024;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kvfuzz::Init();
  kvfuzz::FixedEnvironment();
  kvfuzz::LoadUnitTexts();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvtest::SeriesState& s = kvfuzz::SetReadings();
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string filled = kv::FillTemplate(kvfuzz::Display(s), text, kvfuzz::FixedTime);
  if (filled.size() > OutputLimit) kvfuzz::Fail("FillTemplate output of " + std::to_string(filled.size()) + " bytes");
  const std::string light = kv::FillLightTemplate(kvfuzz::Display(s), text, kvfuzz::FixedTime);
  if (light.size() > OutputLimit) kvfuzz::Fail("FillLightTemplate output of " + std::to_string(light.size()) + " bytes");
  return 0;
}
