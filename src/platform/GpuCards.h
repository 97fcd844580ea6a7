#pragma once
// AMD and Intel graphics cards from /sys/class/drm/cardN: load, video memory and clocks from the
// card's device folder, temperature, fan and power from the hwmon folder the driver made for it.
// The files of a card are kept open between passes; cards driven by nvidia are left to NVML.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

class tKeptFiles;

struct tGpuCard {
  std::string Card;    // "card0"
  std::string Driver;  // "amdgpu", "i915", "xe", ...
  std::string Folder;  // "<root>/sys/class/drm/card0/"
  std::string Hwmon;   // "<root>/sys/class/drm/card0/device/hwmon/hwmon3/"; empty without one
  std::string Chip;    // the hwmon chip as libsensors names it ("amdgpu-pci-0300"); empty without one
  uint32_t Files = 0;  // which of the figure files the card has (regular files, no links): read only those
};

struct tGpuCardFigures {
  std::optional<uint32_t> BusyPercent, MemBusyPercent;
  std::optional<uint64_t> VramUsed, VramTotal;  // bytes
  std::optional<uint32_t> CoreMhz, MemMhz;
  std::optional<int64_t> TempMilli;             // millidegrees Celsius
  std::optional<uint32_t> FanRpm;
  std::optional<uint64_t> PowerMicroW, PowerCapMicroW;
};

// The graphics cards of the drivers known to report figures, in card-number order.
std::vector<tGpuCard> FindGpuCards(const std::string& root = "/");

// One reading of a card; a figure the driver does not give stays empty.
tGpuCardFigures ReadGpuCard(const tGpuCard& card, tKeptFiles& kept);

// The clock in MHz of the line marked current ("1: 1800Mhz *") in a pp_dpm_sclk or
// pp_dpm_mclk text; nullopt when no complete line is marked or its figure is not a clock.
std::optional<uint32_t> CurrentDpmClock(std::string_view text);

// "KEY=value" lines of a uevent file: the value of key, empty when absent.
std::string UeventValue(std::string_view text, std::string_view key);

// libsensors' name of a PCI device's hwmon chip: "amdgpu" and "0000:03:00.0" give
// "amdgpu-pci-0300"; empty when the slot name is not a PCI address.
std::string PciChipName(const std::string& hwmonName, std::string_view pciSlot);

}  // namespace kv
