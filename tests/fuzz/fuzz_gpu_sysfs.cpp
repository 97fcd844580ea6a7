// The texts a graphics driver's sysfs files give: pp_dpm_* clock tables, uevent lines and the
// PCI slot names that the sensor chip names are made from.
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "platform/GpuCards.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kvfuzz::Init();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto mhz = kv::CurrentDpmClock(text)) {
    if (*mhz > 1000000) kvfuzz::Fail("an implausible clock was taken");
    if (text.find('*') == std::string_view::npos) kvfuzz::Fail("a clock without a current mark");
  }
  const std::string driver = kv::UeventValue(text, "DRIVER");
  if (driver.find('\n') != std::string::npos) kvfuzz::Fail("a value ran past its line");
  const std::string chip = kv::PciChipName("amdgpu", kv::UeventValue(text, "PCI_SLOT_NAME"));
  if (!chip.empty() && chip.size() != std::string_view("amdgpu-pci-0300").size())
    kvfuzz::Fail("a chip name of the wrong shape");
  return 0;
}
