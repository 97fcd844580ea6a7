#pragma once
#include <string>

namespace kv {

struct tPassContext;

// SpeedFan's block "SFSharedMemory_ALM", placed by SFOrderT/F/V; then, while SFNamesPending,
// the channel names from SpeedFan's sensor file.
void ReadSpeedFan(tPassContext& ctx);

// SpeedFan's folder: "../SpeedFan/" beside the program folder.
std::string SpeedFanFolder(const std::string& appDir);
extern const char* const SpeedFanSensorFile;  // "speedfansens.cfg"

// Names the channels from a sensor file (only channels that keep their default names). False
// when the file does not exist, so it is looked for again next pass.
bool ReadSpeedFanNames(tPassContext& ctx, const std::string& path);

}  // namespace kv
