#include "settings/Channels.h"

namespace kv {

std::array<tChannelCfg, TempChannels> TCfg;
std::array<tChannelCfg, VoltChannels> VCfg;
std::array<tFanCfg, FanChannels> FCfg;
std::array<tChannelCfg, CpuChannels> CPUCfg;
std::array<tNetSlot, NetSlotCount> NetSlots;
std::array<tDiskSlot, DiskSlotCount> DiskSlots;

tIndexMap SFOrderT, SFOrderF, SFOrderV;
tIndexMap MBMOrderT;
tStringMap AIDAOrderT, AIDAOrderF, AIDAOrderV;
tStringMap AtiToolOrderT, AtiToolOrderF;
tStringMap RivaOrderT, RivaOrderF;
tStringMap ATTOrderT, ATTOrderF;
tStringMap AquaeroOrderT, AquaeroOrderF, AquaeroOrderV;
tStringMap HwmonOrderT, HwmonOrderV, HwmonOrderF;

const std::array<uint32_t, TempChannels> DefaultTempColours = {
    0x0000FF, 0x0070E0, 0x008080, 0x00C060, 0x008000,
    0x60C000, 0xC0C000, 0xFF0000, 0xFF0080, 0xC000C0};
const std::array<uint32_t, DiskSlotCount> DefaultDiskColours = {
    0x8080FF, 0x409FFF, 0x00FFFF, 0x00FFA0, 0x00FB00, 0xFFFF00, 0xFF8080, 0xFF80FF};

void SetDefaultChannelNames() {
  for (int i = 0; i < TempChannels; ++i) {
    const std::string n = std::to_string(i + 1);
    TCfg[i].Name = "T" + n;
    VCfg[i].Name = "V" + n;
    FCfg[i].Name = "F" + n;
  }
  for (int i = 0; i < CpuChannels; ++i) CPUCfg[i].Name = "Core" + std::to_string(i + 1);
  for (int i = 0; i < NetSlotCount; ++i) NetSlots[i].Name = "Net" + std::to_string(i + 1);
}

void SetDefaultChannelColours() {
  for (int i = 0; i < TempChannels; ++i) {
    TCfg[i].Colour = DefaultTempColours[i];
    VCfg[i].Colour = DefaultTempColours[i];
    FCfg[i].Colour = DefaultTempColours[i];
  }
  for (int i = 0; i < CpuChannels; ++i) CPUCfg[i].Colour = DefaultTempColours[i];
  for (int i = 0; i < NetSlotCount; ++i) {
    NetSlots[i].ColourOut = DefaultTempColours[i];
    NetSlots[i].ColourIn = DefaultTempColours[i + 4];
  }
  for (int i = 0; i < DiskSlotCount; ++i) DiskSlots[i].Colour = DefaultDiskColours[i];
}

void SetDefaultChannelSettings() {
  SetDefaultChannelNames();
  SetDefaultChannelColours();
  // Temperatures are shown, voltages and fans hidden, CPUs, networks and disks shown.
  for (tChannelCfg& t : TCfg) t.Vis = 1;
  for (tChannelCfg& v : VCfg) v.Vis = 0;
  for (tFanCfg& f : FCfg) f.Vis = 0;
  for (tChannelCfg& c : CPUCfg) c.Vis = 1;
  for (tChannelCfg& t : TCfg) t.Bold = true;
  for (tChannelCfg& v : VCfg) v.Bold = true;
  for (tChannelCfg& c : CPUCfg) c.Bold = true;
  for (tChannelCfg& t : TCfg) t.AlertHigh = t.AlertLow = AlertOff;
  for (tChannelCfg& v : VCfg) v.AlertHigh = v.AlertLow = AlertOff;
  for (tFanCfg& f : FCfg) f.AlertHigh = f.AlertLow = AlertOff;
  for (tFanCfg& f : FCfg) {
    f.Bold = true;
    f.Div = tFanCfg{}.Div;
  }
  for (tNetSlot& net : NetSlots) {
    net.Vis = tNetSlot{}.Vis;
    net.Mac.clear();
  }
  for (tDiskSlot& disk : DiskSlots) {
    SetDiskDrive(disk, "");
    disk.Vis = tDiskSlot{}.Vis;
    disk.AlertKB = tDiskSlot{}.AlertKB;
  }
}

void SetDefaultAIDAOrder() {
  for (int i = 0; i < TempChannels; ++i) {
    AIDAOrderT[i] = AIDAOrderF[i] = AIDAOrderV[i] = std::to_string(i + 1);
  }
}

void SetDefaultAquaeroOrder() {
  AquaeroOrderT = {"Sensor1", "Sensor2", "Sensor3", "Sensor4", "Sensor5", "Sensor6"};
  AquaeroOrderF = {"Fan1Rpm", "Fan2Rpm", "Fan3Rpm", "Fan4Rpm", "Flow1Hour", "Flow2Hour", "Flow"};
  AquaeroOrderV = {"Aquastream1Voltage", "Aquastream2Voltage"};
}

void SetDefaultAtiToolOrder() {
  AtiToolOrderT = {"", "", "", "templocal", "tempremote"};
  AtiToolOrderF = {"", "", "", "fanspeed"};
}

void SetDefaultRivaOrder() {
  for (int i = 0; i < TempChannels; ++i) {
    RivaOrderT[i] = i < 3 ? "" : "temperature";
    RivaOrderF[i] = i < 3 ? "" : "fan speed";
  }
}

void SetDefaultATTOrder() {
  ATTOrderT = {"", "", "", "gputemp", "envtemp"};
  ATTOrderF = {"", "", "", "fanspeed"};
}

void SetDefaultHwmonOrder() {
  HwmonOrderT = {};
  HwmonOrderV = {};
  HwmonOrderF = {};
}

void SetDiskDrive(tDiskSlot& slot, const std::string& drive) {
  if (drive.size() < 2) {
    slot.Drive.clear();
    slot.Label.clear();
    slot.AlertOn = false;
    return;
  }
  slot.Drive = drive;
  const size_t blank = drive.find(' ');
  slot.Label = blank == std::string::npos ? std::string() : drive.substr(blank + 1);
}

}  // namespace kv
