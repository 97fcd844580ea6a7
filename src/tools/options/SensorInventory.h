#pragma once
// What this machine offers to the channel pages: hwmon sensors with their labels and values,
// the shared-memory programs whose blocks are present, the external area, network interfaces
// and disks. Read once when the dialog opens.
#include <string>
#include <vector>

#include "readvalue/AcquisitionPass.h"
#include "readvalue/Readings.h"

namespace kv {

struct tSettings;

struct tInventoryItem {
  std::string group;  // "hwmon", "udisks2", "shared memory", "network", "disks"
  std::string name;   // for hwmon: the order map entry "chip label"
  std::string value;  // current value with its unit; empty when none
};

// Runs one acquisition pass so the channels and the lists are current.
void RefreshInventoryReadings(tAcquisition& pass);
// The items a page shows: 4, 5, 6 the sensors of that kind, 8 interfaces, 9 disks.
std::vector<tInventoryItem> SensorInventory(const tSettings& settings, const tReadingsState& current, int page);
// The current value of a channel row's reading as text ("" when it has none).
std::string ChannelValueText(const tReadingsState& current, int page, int channel);

}  // namespace kv
