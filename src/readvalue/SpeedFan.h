#pragma once
#include <string>

namespace kv {

// SpeedFan's block "SFSharedMemory_ALM", placed by SFOrderT/F/V; then, while SFNamesPending,
// the channel names from SpeedFan's sensor file.
void ReadSpeedFan();

// SpeedFan's folder: "../SpeedFan/" beside AppDir.
std::string SpeedFanFolder();
extern const char* const SpeedFanSensorFile;  // "speedfansens.cfg"

// Names the channels from a sensor file (only channels that keep their default names). False
// when the file does not exist, so it is looked for again next pass.
bool ReadSpeedFanNames(const std::string& path);

}  // namespace kv
