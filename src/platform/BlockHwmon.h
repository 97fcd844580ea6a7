#pragma once
// Whether a block device has a hwmon sensor of its own (the drivetemp driver's), so its
// temperature already comes through hwmon.
#include <string>

namespace kv {

// device: "/dev/sda" or "sda". Looks for any hwmon device under
// <root>/sys/block/<name>/device/hwmon. A name with odd characters is no device: false.
bool BlockDeviceHasHwmon(const std::string& root, const std::string& device);

}  // namespace kv
