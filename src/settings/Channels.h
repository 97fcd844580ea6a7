#pragma once
// Per-channel settings and the order maps that say which sensor of an outside program feeds
// which channel. They are part of the settings state (tSettings) and loaded with it.
//
// Index base: every array here is 0-based storage of 1-based channels, so channel T3 is
// TCfg[2] and SFOrderT[2]; ChannelIndex(3) says so in code.
#include <array>
#include <cstdint>
#include <string>

namespace kv {

constexpr int TempChannels = 10;
constexpr int VoltChannels = 10;
constexpr int FanChannels = 10;
constexpr int CpuChannels = 4;
constexpr int NetSlotCount = 4;
constexpr int DiskSlotCount = 8;

constexpr int ChannelIndex(int channel) { return channel - 1; }

// An alert limit that is switched off; it is also the 16-bit no-value marker, so no reading can
// equal it.
constexpr int64_t AlertOff = 32767;

struct tChannelCfg {
  uint8_t Vis = 0;  // 0 hidden, 1 shown; the displays give higher levels their meaning
  uint32_t Colour = 0;
  bool Bold = true;
  std::string Name;
  // Alert limits in the channel's stored unit (hundredths of a degree or volt, RPM); used for
  // the T, V and F channels.
  int64_t AlertHigh = AlertOff, AlertLow = AlertOff;

  friend bool operator==(const tChannelCfg&, const tChannelCfg&) = default;
};

struct tFanCfg : tChannelCfg {
  double Div = 1.0;  // never 0: a stored 0 reads as 1

  friend bool operator==(const tFanCfg&, const tFanCfg&) = default;
};

struct tNetSlot {
  bool Vis = true;
  uint32_t ColourIn = 0, ColourOut = 0;
  std::string Name;
  std::string Mac;  // MAC text, optionally a blank and the interface description

  friend bool operator==(const tNetSlot&, const tNetSlot&) = default;
};

struct tDiskSlot {
  bool Vis = true;
  bool AlertOn = false;
  uint32_t Colour = 0;
  std::string Drive;  // mount point, optionally a blank and a display text
  std::string Label;  // the part of Drive after its first blank
  int64_t TotalKB = 0, FreeKB = 0;
  int64_t AlertKB = 10485760;

  friend bool operator==(const tDiskSlot&, const tDiskSlot&) = default;
};

using tStringMap = std::array<std::string, TempChannels>;
using tIndexMap = std::array<uint8_t, TempChannels>;  // 0-based sensor indexes

// Default colours, 0x00BBGGRR.
extern const std::array<uint32_t, TempChannels> DefaultTempColours;
extern const std::array<uint32_t, DiskSlotCount> DefaultDiskColours;

struct tSettings;

// Default names and visibility of all channels ("T1", "V1", "F1", "Core1", "Net1").
void SetDefaultChannelNames(tSettings& s);
// Default colours of every channel and disk slot.
void SetDefaultChannelColours(tSettings& s);
// Every per-channel value the settings files hold back to its default: names, visibility,
// colours, bold flags, fan divisors, network and disk slot keys. Readings stay.
void SetDefaultChannelSettings(tSettings& s);
// AIDA64 sensor ids: the decimal channel number.
void SetDefaultAIDAOrder(tSettings& s);
void SetDefaultAquaeroOrder(tSettings& s);
void SetDefaultAtiToolOrder(tSettings& s);
void SetDefaultRivaOrder(tSettings& s);
void SetDefaultATTOrder(tSettings& s);
void SetDefaultHwmonOrder(tSettings& s);
// Every order map at its default: the string maps as above, SpeedFan's sensor numbers reversed
// (the tenth sensor feeds channel 1), MBM's in order.
void SetDefaultOrders(tSettings& s);

// Splits a drive text into root and label; a text shorter than 2 characters clears the slot's
// drive and switches its alert off.
void SetDiskDrive(tDiskSlot& slot, const std::string& drive);

}  // namespace kv
