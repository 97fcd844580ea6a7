#pragma once
// The readings table: the current value of every monitored quantity. The acquisition pass is
// its only writer; everything else reads it between passes on the main thread.
//
// The two records are also the statistics file format, so they are packed byte images. Their
// arrays are 0-based storage of 1-based channels: channel T3 is Readings.T[2]. Fields of a
// packed record cannot be bound to references or pointers; assign them by index.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

static_assert(std::endian::native == std::endian::little, "the records are little-endian byte images");

constexpr int TChannels = 10;
constexpr int VChannels = 10;
constexpr int FChannels = 10;
constexpr int CPUChannels = 4;
constexpr int NetChannels = 4;

constexpr int16_t NoValue16 = 32767;       // 0x7FFF: a 16-bit channel without a reading
constexpr int32_t NoValue32 = 2147483647;  // 0x7FFFFFFF: a 32-bit field without a reading

#pragma pack(push, 1)
struct tReadings {
  double Time;              // UTC of the pass that filled the record
  int16_t T[TChannels];     // hundredths of a degree Celsius
  int16_t V[VChannels];     // hundredths of a volt
  int16_t F[FChannels];     // RPM; -n is a flow of n/100 litres per hour
  int16_t CPU[CPUChannels]; // hundredths of a percent
  int32_t NetIn[NetChannels];   // KiB received, running counter
  int32_t NetOut[NetChannels];  // KiB sent, running counter
  int32_t MemUsed;   // KiB
  int32_t MemFree;   // KiB
  int32_t PageUsed;  // KiB of commit charge
  int32_t PageFree;  // KiB
  int32_t Cache;     // KiB
  int32_t Freq;      // kHz
  int32_t BatCap;    // mWh, or percent when BatRelative
  int32_t BatFull;   // same unit as BatCap; 0 when unknown
  uint8_t BatOnline; // 1 on mains power
};

struct tReadingsExtra {
  double Time2;           // same UTC as tReadings::Time
  int32_t UserSecs;       // seconds of user activity since start
  int32_t Reserved[40];   // the GPU history (below); the rest never written
};
#pragma pack(pop)

// The byte layout, field by field.
static_assert(sizeof(tReadings) == 141);
static_assert(offsetof(tReadings, Time) == 0);
static_assert(offsetof(tReadings, T) == 8);
static_assert(offsetof(tReadings, V) == 28);
static_assert(offsetof(tReadings, F) == 48);
static_assert(offsetof(tReadings, CPU) == 68);
static_assert(offsetof(tReadings, NetIn) == 76);
static_assert(offsetof(tReadings, NetOut) == 92);
static_assert(offsetof(tReadings, MemUsed) == 108);
static_assert(offsetof(tReadings, MemFree) == 112);
static_assert(offsetof(tReadings, PageUsed) == 116);
static_assert(offsetof(tReadings, PageFree) == 120);
static_assert(offsetof(tReadings, Cache) == 124);
static_assert(offsetof(tReadings, Freq) == 128);
static_assert(offsetof(tReadings, BatCap) == 132);
static_assert(offsetof(tReadings, BatFull) == 136);
static_assert(offsetof(tReadings, BatOnline) == 140);

static_assert(sizeof(tReadingsExtra) == 172);
static_assert(offsetof(tReadingsExtra, Time2) == 0);
static_assert(offsetof(tReadingsExtra, UserSecs) == 8);
static_assert(offsetof(tReadingsExtra, Reserved) == 12);

struct tNetMon {
  std::string Description;  // the interface's description
  std::string Ip;           // IPv4 address text
  std::string Mac;          // MAC address text
  uint32_t LastChange = 0;  // last-change stamp of the previous pass
};

struct tDiskMon {
  std::string Root;   // mount point
  std::string Label;  // file-system label or device name
};

// The BOINC client's progress as its state file last gave it.
struct tBOINCActiveTask {
  std::string Project;  // the master URL's host name, then "  v" and the application version
  std::string ResultName;
  std::string CPUTime;      // already formatted: "1 d 1 h", "1:02 h"
  double FractionDone = 0;  // 0 .. 1
};

struct tBOINCProject {
  double UserTotalCredit = 0, UserExpAvgCredit = 0, HostTotalCredit = 0, HostExpAvgCredit = 0;
  std::string ProjectName;
};

// ---- GPUs ----
constexpr int GpuSlots = 4;

// One graphics card's figures; NoValue32 where the driver gives none.
struct tGpu {
  std::string Name;    // "NVIDIA GeForce RTX 3060", or the card and driver ("card0 amdgpu")
  std::string Driver;  // "nvidia", "amdgpu", "i915", "xe", ...
  std::string Chip;    // chip part of its sensors' names ("nvidia-gpu1", "amdgpu-pci-0300"); may be empty
  int32_t Temp = NoValue32;       // hundredths of a degree Celsius
  int32_t Fan = NoValue32;        // RPM, or percent of full speed with FanPercent
  bool FanPercent = false;
  int32_t Power = NoValue32, PowerLimit = NoValue32;  // mW
  int32_t Load = NoValue32, MemLoad = NoValue32;      // hundredths of a percent
  int32_t MemUsed = NoValue32, MemTotal = NoValue32;  // KiB
  int32_t CoreClock = NoValue32, MemClock = NoValue32;  // MHz
};

// The GPU history in the second record's reserved fields, so files stay readable by programs
// that know nothing of it: Reserved[0] holds the marker, [1 + slot] the load and [5 + slot]
// the power of each GPU slot. Files from before have zeros there, break records NoValue32.
constexpr int32_t GpuHistoryMarker = 0x31555047;  // "GPU1"
void StoreGpuHistory(tReadingsExtra& e, const std::vector<tGpu>& gpus);
// NoValue32 when the record holds no such figure.
int32_t GpuLoadAt(const tReadingsExtra& e, int slot);
int32_t GpuPowerAt(const tReadingsExtra& e, int slot);

// The table and its companions: the acquisition pass writes them, everything else reads them
// between passes on the main thread.
struct tReadingsState {
  // Packed records placed on 8 bytes, so their fields sit on their natural alignment.
  alignas(8) tReadings Readings{};
  alignas(8) tReadingsExtra ReadingsExtra{};
  // Companion values: read by the displays and the chart, never persisted.
  int32_t FreqMax = 0;    // highest clock seen or reported as maximum, kHz; 0 until known
  int32_t MemTotal = 0;   // KiB
  int32_t PageTotal = 0;  // KiB, physical plus swap
  int32_t BatDesign = 0;  // design capacity when above the full charge (worn battery), else 0
  bool BatRelative = false;  // capacities are percent, not mWh
  uint32_t UpSecs = 0;
  uint16_t UpDays = 0, UpHours = 0, UpMins = 0, UpSecsPart = 0;
  uint8_t CPUCount = 0;   // processors of the last load reading; may exceed CPUChannels
  int32_t PassCount = 0;  // passes completed since start
  int32_t CPUPower = NoValue32;  // CPU package power, mW, all packages; none before two samples
  // SATA drives' SMART temperatures from udisks2 at its last answer ("model serial", °C).
  struct tDriveTemp {
    std::string Label;
    double Celsius = 0;
  };
  std::vector<tDriveTemp> Drives;
  std::vector<tNetMon> NetMons;
  std::vector<tDiskMon> DiskMons;
  // Both reflect the last read of the BOINC client's state file only.
  std::vector<tBOINCActiveTask> BOINCTasks;
  std::vector<tBOINCProject> BOINCProjects;
  bool SFNamesPending = false, HWMNamesPending = false, EverestNamesPending = false,
       HwmonNamesPending = false;
  // Up to GpuSlots graphics cards: sysfs cards first, then NVML's.
  std::vector<tGpu> Gpus;
  bool GpuNamesPending = false;
};

// Sets UpSecs and its day, hour, minute and second parts.
void SetUpSecs(tReadingsState& current, uint32_t secs);

// Puts the no-value markers in place before the first pass and raises the name flags.
void ResetReadings(tReadingsState& current);

// ---- Conversions every source uses ----

// Nearest integer, ties to the even one, independent of the FPU rounding mode.
double RoundHalfEven(double v);
// round(v × 100) into a 16-bit channel. A NaN, an infinity or a result outside int16 gives
// NoValue16: a reading the channel cannot hold is shown as none rather than as a wrong figure.
int16_t StoreTimes100(double v);
// round(v) into a 16-bit channel, with the same out-of-range rule.
int16_t StoreAsIs(double v);
// round(v) into a 32-bit field; NoValue32 when it does not fit.
int32_t StoreAsIs32(double v);

// End of a pass: fan divisors (truncating toward zero; a negative divisor gives the flow form
// F × 100 / d; a divisor of 0 leaves the value), then every fan at exactly 0 becomes NoValue16.
void PostProcessFans(tReadings& readings, std::span<const double, FChannels> divisors);

// A source may rename a channel only while it still carries its default name, so a name the
// user chose survives. True when the name was replaced.
bool ReplaceDefaultName(std::string& name, std::string_view defaultName, std::string_view supplied);

}  // namespace kv
