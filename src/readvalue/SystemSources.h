#pragma once
// The figures the program measures itself: CPU load and clock, memory, uptime, disks, network and
// batteries (the thermal zones have a header of their own). Each reader writes its fields of the
// readings table and keeps whatever it needs between passes in the pass's source memory; all of
// them read the /proc and /sys tree under the context's system root.
//
// The readers live in kv::metrics because the platform layer already uses several of their names
// (ReadCpuClock, FindBatteries, ReadThermalZones) for the raw queries they are built on.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/NetMetrics.h"
#include "platform/Powercap.h"

namespace kv {
struct tPassContext;
class tSourceMemory;
}  // namespace kv

namespace kv::metrics {

void ReadCpuLoad(tPassContext& ctx);   // CPU[1..4], CPUCount; throws "No performance object" without /proc/stat
void ReadCpuClock(tPassContext& ctx);  // Freq, FreqMax
void ReadMemory(tPassContext& ctx);    // memory fields, MemTotal, PageTotal; throws when /proc/meminfo is unreadable
void ReadUptime(tPassContext& ctx);    // UpSecs and its parts
void ReadDisks(tPassContext& ctx);     // DiskMons, DiskSlots
void ReadNetwork(tPassContext& ctx);   // NetMons, NetSlots, NetIn, NetOut
void FindBatteries(tPassContext& ctx);    // the battery folders
void ForgetBatteries(tPassContext& ctx);  // the next ReadBatteries looks for the folders again
void ReadBatteries(tPassContext& ctx); // battery fields, V[k], T[5+k]
void ReadCpuPower(tPassContext& ctx);    // CPUPower from the RAPL package counters
void ReopenCpuPower(tPassContext& ctx);  // after a settings reload the zones are looked for again

// What the battery reader keeps between passes.
struct tBatteryMemory {
  bool enumerated = false;
  std::vector<std::string> paths;  // found by the last FindBatteries ("/sys/class/power_supply/BAT0")
};

// What the package power reader keeps between passes.
struct tCpuPowerMemory {
  enum tState { Unknown, Reading, Off } state = Unknown;  // Off: none readable, until a reload
  std::vector<tRaplPackage> packages;
  std::vector<uint64_t> energy;  // the counters at time
  double time = 0;               // TDateTime of the sample
};

// The slot logic of ReadNetwork for one table of interfaces (ipText already attached).
void StoreNetwork(tPassContext& ctx, const std::vector<tNetInterface>& interfaces);
// Forget the previous CPU sample, so the next load reading is measured from boot.
void ResetCpuLoad(tSourceMemory& memory);

// The slot text of a mount point: blanks and backslashes written as octal escapes ("\040"), so
// the text up to the first blank of a slot's Drive is always the whole mount point.
std::string DriveRootText(const std::string& mountPoint);
std::string MountPointOfRoot(const std::string& rootText);

}  // namespace kv::metrics
