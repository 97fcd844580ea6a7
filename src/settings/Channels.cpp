#include "settings/Channels.h"

#include "settings/Settings.h"

namespace kv {

const std::array<uint32_t, TempChannels> DefaultTempColours = {
    0x0000FF, 0x0070E0, 0x008080, 0x00C060, 0x008000,
    0x60C000, 0xC0C000, 0xFF0000, 0xFF0080, 0xC000C0};
const std::array<uint32_t, DiskSlotCount> DefaultDiskColours = {
    0x8080FF, 0x409FFF, 0x00FFFF, 0x00FFA0, 0x00FB00, 0xFFFF00, 0xFF8080, 0xFF80FF};

void SetDefaultChannelNames(tSettings& s) {
  for (int i = 0; i < TempChannels; ++i) {
    const std::string n = std::to_string(i + 1);
    s.TCfg[i].Name = "T" + n;
    s.VCfg[i].Name = "V" + n;
    s.FCfg[i].Name = "F" + n;
  }
  for (int i = 0; i < CpuChannels; ++i) s.CPUCfg[i].Name = "Core" + std::to_string(i + 1);
  for (int i = 0; i < NetSlotCount; ++i) s.NetSlots[i].Name = "Net" + std::to_string(i + 1);
}

void SetDefaultChannelColours(tSettings& s) {
  for (int i = 0; i < TempChannels; ++i) {
    s.TCfg[i].Colour = DefaultTempColours[i];
    s.VCfg[i].Colour = DefaultTempColours[i];
    s.FCfg[i].Colour = DefaultTempColours[i];
  }
  for (int i = 0; i < CpuChannels; ++i) s.CPUCfg[i].Colour = DefaultTempColours[i];
  for (int i = 0; i < NetSlotCount; ++i) {
    s.NetSlots[i].ColourOut = DefaultTempColours[i];
    s.NetSlots[i].ColourIn = DefaultTempColours[i + 4];
  }
  for (int i = 0; i < DiskSlotCount; ++i) s.DiskSlots[i].Colour = DefaultDiskColours[i];
}

void SetDefaultChannelSettings(tSettings& s) {
  SetDefaultChannelNames(s);
  SetDefaultChannelColours(s);
  // Temperatures are shown, voltages and fans hidden, CPUs, networks and disks shown.
  for (tChannelCfg& t : s.TCfg) t.Vis = 1;
  for (tChannelCfg& v : s.VCfg) v.Vis = 0;
  for (tFanCfg& f : s.FCfg) f.Vis = 0;
  for (tChannelCfg& c : s.CPUCfg) c.Vis = 1;
  for (tChannelCfg& t : s.TCfg) t.Bold = true;
  for (tChannelCfg& v : s.VCfg) v.Bold = true;
  for (tChannelCfg& c : s.CPUCfg) c.Bold = true;
  for (tChannelCfg& t : s.TCfg) t.AlertHigh = t.AlertLow = AlertOff;
  for (tChannelCfg& v : s.VCfg) v.AlertHigh = v.AlertLow = AlertOff;
  for (tFanCfg& f : s.FCfg) f.AlertHigh = f.AlertLow = AlertOff;
  for (tFanCfg& f : s.FCfg) {
    f.Bold = true;
    f.Div = tFanCfg{}.Div;
  }
  for (tNetSlot& net : s.NetSlots) {
    net.Vis = tNetSlot{}.Vis;
    net.Mac.clear();
  }
  for (tDiskSlot& disk : s.DiskSlots) {
    SetDiskDrive(disk, "");
    disk.Vis = tDiskSlot{}.Vis;
    disk.AlertKB = tDiskSlot{}.AlertKB;
  }
}

void SetDefaultAIDAOrder(tSettings& s) {
  for (int i = 0; i < TempChannels; ++i) {
    s.AIDAOrderT[i] = s.AIDAOrderF[i] = s.AIDAOrderV[i] = std::to_string(i + 1);
  }
}

void SetDefaultAquaeroOrder(tSettings& s) {
  s.AquaeroOrderT = {"Sensor1", "Sensor2", "Sensor3", "Sensor4", "Sensor5", "Sensor6"};
  s.AquaeroOrderF = {"Fan1Rpm", "Fan2Rpm", "Fan3Rpm", "Fan4Rpm", "Flow1Hour", "Flow2Hour", "Flow"};
  s.AquaeroOrderV = {"Aquastream1Voltage", "Aquastream2Voltage"};
}

void SetDefaultAtiToolOrder(tSettings& s) {
  s.AtiToolOrderT = {"", "", "", "templocal", "tempremote"};
  s.AtiToolOrderF = {"", "", "", "fanspeed"};
}

void SetDefaultRivaOrder(tSettings& s) {
  for (int i = 0; i < TempChannels; ++i) {
    s.RivaOrderT[i] = i < 3 ? "" : "temperature";
    s.RivaOrderF[i] = i < 3 ? "" : "fan speed";
  }
}

void SetDefaultATTOrder(tSettings& s) {
  s.ATTOrderT = {"", "", "", "gputemp", "envtemp"};
  s.ATTOrderF = {"", "", "", "fanspeed"};
}

void SetDefaultHwmonOrder(tSettings& s) {
  s.HwmonOrderT = {};
  s.HwmonOrderV = {};
  s.HwmonOrderF = {};
}

void SetDefaultOrders(tSettings& s) {
  SetDefaultAIDAOrder(s);
  SetDefaultAquaeroOrder(s);
  SetDefaultAtiToolOrder(s);
  SetDefaultRivaOrder(s);
  SetDefaultATTOrder(s);
  SetDefaultHwmonOrder(s);
  for (int i = 0; i < TempChannels; ++i) {
    s.SFOrderT[i] = s.SFOrderF[i] = s.SFOrderV[i] = static_cast<uint8_t>(TempChannels - 1 - i);
    s.MBMOrderT[i] = static_cast<uint8_t>(i);
  }
}

tSettings::tSettings() {
  SetDefaultChannelSettings(*this);
  SetDefaultOrders(*this);
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
