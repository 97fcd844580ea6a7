#include "platform/BlockHwmon.h"

#include <algorithm>
#include <cctype>

#include "platform/linux/SysText.h"

namespace kv {

bool BlockDeviceHasHwmon(const std::string& root, const std::string& device) {
  const std::string name = device.substr(device.rfind('/') + 1);
  const bool plain = !name.empty() && name.size() <= 32 && name != "." && name != ".." &&
                     std::all_of(name.begin(), name.end(), [](unsigned char c) {
                       return std::isalnum(c) || c == '-' || c == '_' || c == '.';
                     });
  if (!plain) return false;
  for (const std::string& entry : systext::ListFolder(systext::RootPath(root, "sys/block/" + name + "/device/hwmon")))
    if (systext::NumberAfter(entry, "hwmon")) return true;
  return false;
}

}  // namespace kv
