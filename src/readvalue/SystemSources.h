#pragma once
// The figures the program measures itself: CPU load and clock, memory, uptime, disks, network and
// batteries (the thermal zones have a header of their own). Each reader writes its fields of the
// readings table and keeps whatever it needs between passes in its own file.
//
// The readers live in kv::metrics because the platform layer already uses several of their names
// (ReadCpuClock, FindBatteries, ReadThermalZones) for the raw queries they are built on.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/NetMetrics.h"

namespace kv::metrics {

// Root of the /proc and /sys tree the readers look at; "/" unless a test points them at a fake
// tree. Mount points and battery folders are taken inside this root too.
void SetSystemRoot(const std::string& root);
const std::string& SystemRoot();
// A system path ("/home") inside the current root.
std::string InRoot(const std::string& path);

void ReadCpuLoad();   // CPU[1..4], CPUCount; throws "No performance object" without /proc/stat
void ReadCpuClock();  // Freq, FreqMax
void ReadMemory();    // memory fields, MemTotal, PageTotal; throws when /proc/meminfo is unreadable
void ReadUptime();    // UpSecs and its parts
void ReadDisks();     // DiskMons, DiskSlots
void ReadNetwork();   // NetMons, NetSlots, NetIn, NetOut
void FindBatteries(); // BatteryPaths
void ForgetBatteries();  // the next ReadBatteries looks for the folders again
void ReadBatteries(); // battery fields, V[k], T[5+k]

// The slot logic of ReadNetwork for one table of interfaces (ipText already attached).
void StoreNetwork(const std::vector<tNetInterface>& interfaces);
// Forget the previous CPU sample, so the next load reading is measured from boot.
void ResetCpuLoad();

// Battery folders found by the last FindBatteries ("/sys/class/power_supply/BAT0").
extern std::vector<std::string> BatteryPaths;

// The slot text of a mount point: blanks and backslashes written as octal escapes ("\040"), so
// the text up to the first blank of a slot's Drive is always the whole mount point.
std::string DriveRootText(const std::string& mountPoint);
std::string MountPointOfRoot(const std::string& rootText);

}  // namespace kv::metrics
