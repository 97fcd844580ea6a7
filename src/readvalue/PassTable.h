#pragma once
// The acquisition pass, one row per step in pass order, and the one registry of its sources: a
// new source adds its header below and its row to the table, and nothing else in the pass
// changes. The step enum, the step names and the pass's rows are all made from this table.
//
// ROW(step, guard, when, tag, read, reopen, close)
//   step    the tPassStep and the step's name in the health report
//   guard   the enabling setting (a tSettings member), or nullptr: always runs
//   when    EveryPass; SlowPass: forced, or PassCount a multiple of 10; SlowPassAfter3s: a slow
//           pass more than 3 seconds after the previous one
//   tag     trace tag of the whole step; nullptr: the step cannot fail, or its failures are
//           swallowed (aquaero). Sources with three tags use the other two inside themselves.
//   read    the reader; nullptr: the source is not built on this platform
//   reopen  after a settings reload, close at shut-down; nullptr: the source keeps nothing open
//
// Precedence is the order: a later step overwrites an earlier one's channels. Hwmon comes first,
// so every other source and the external area override it. The Pass* steps belong to the pass.
#include "readvalue/Aquaero.h"
#include "readvalue/AtiTool.h"
#include "readvalue/AtiTrayTools.h"
#include "readvalue/Boinc.h"
#include "readvalue/CoreTemp.h"
#include "readvalue/CpuCool.h"
#include "readvalue/CpuidHwMonitor.h"
#include "readvalue/DriveTemps.h"
#include "readvalue/Everest.h"
#include "readvalue/ExternalValues.h"
#include "readvalue/GpuSource.h"
#include "readvalue/HMonitor.h"
#include "readvalue/HwmonSource.h"
#include "readvalue/Mbm5.h"
#include "readvalue/RivaTuner.h"
#include "readvalue/SpeedFan.h"
#include "readvalue/SystemSources.h"
#include "readvalue/ThermalZoneSource.h"
#include "readvalue/VCool.h"

// clang-format off
#define KV_PASS_TABLE(ROW) \
  ROW(ClearFreq, nullptr, EveryPass, nullptr, PassClearFreq, nullptr, nullptr) \
  ROW(Hwmon, &tSettings::ReadHwmon, EveryPass, "rv hw 3 ", ReadHwmonSensors, ReopenHwmonSensors, CloseHwmonSensors) \
  ROW(GPU, &tSettings::ReadGPU, EveryPass, "rv gpu 3 ", ReadGpus, ReopenGpus, CloseGpus) \
  ROW(Drives, &tSettings::ReadUDisks, EveryPass, "rv ud 3 ", ReadDriveTemps, ReopenDriveTemps, CloseDriveTemps) \
  ROW(Everest, &tSettings::ReadEverest, EveryPass, "re3 ", ReadEverestAreas, nullptr, nullptr) \
  ROW(CPUID, &tSettings::ReadCPUID, EveryPass, "rv3 ", ReadCPUID, nullptr, nullptr) \
  ROW(CPUCooL, &tSettings::ReadCPUCooL, EveryPass, "rv6 ", ReadCPUCooL, nullptr, nullptr) \
  ROW(VCool, &tSettings::ReadVCool, EveryPass, "rv7 ", ReadVCool, nullptr, nullptr) \
  ROW(HMonitor, &tSettings::ReadHMonitor, EveryPass, "rv10 ", ReadHMonitor, nullptr, nullptr) \
  ROW(SpeedFan, &tSettings::ReadSpeedFan, EveryPass, "rv13 ", ReadSpeedFan, nullptr, nullptr) \
  ROW(AtiTool, &tSettings::ReadAtiTool, EveryPass, "rv31 ", ReadAtiTool, nullptr, nullptr) \
  ROW(RivaTuner, &tSettings::ReadRivaTuner, EveryPass, "rv rt 3 ", ReadRivaTuner, nullptr, nullptr) \
  ROW(ATITrayTools, &tSettings::ReadATITrayTools, EveryPass, "rv att 3 ", ReadATITrayTools, nullptr, nullptr) \
  ROW(Freq, &tSettings::ReadFreq, EveryPass, "gf ", metrics::ReadCpuClock, nullptr, nullptr) \
  ROW(CoreTemp, &tSettings::ReadCoreTemp, EveryPass, "rv ct 3 ", ReadCoreTemp, nullptr, nullptr) \
  ROW(CPULoad, &tSettings::ReadCPU, EveryPass, "rv15 ", metrics::ReadCpuLoad, nullptr, nullptr) \
  ROW(CpuPower, &tSettings::ReadRAPL, EveryPass, "rv pw 3 ", metrics::ReadCpuPower, metrics::ReopenCpuPower, nullptr) \
  ROW(UserActivity, nullptr, EveryPass, "gis ", PassUserActivity, nullptr, nullptr) \
  ROW(ThermalZones, &tSettings::ThermalZones, EveryPass, "rv16 ", metrics::ReadThermalZones, nullptr, nullptr) \
  ROW(MobileMeter, &tSettings::ReadMobileMeter, EveryPass, "rmm1 ", nullptr, nullptr, nullptr) \
  ROW(MBM5190, &tSettings::ReadMBM5190, EveryPass, "rv17 ", ReadMBM5190, nullptr, nullptr) \
  ROW(MBM5107, &tSettings::ReadMBM5107, EveryPass, "rv18 ", ReadMBM5107, nullptr, nullptr) \
  ROW(MBM509x, &tSettings::ReadMBM509x, EveryPass, "rv19 ", ReadMBM509x, nullptr, nullptr) \
  ROW(Aquaero, &tSettings::ReadAquaero, EveryPass, nullptr, ReadAquaeroStep, nullptr, nullptr) \
  ROW(Net, &tSettings::ReadNet, EveryPass, "rv20 ", metrics::ReadNetwork, nullptr, nullptr) \
  /* Battery: the reader tests ReadBat itself */ \
  ROW(Battery, nullptr, EveryPass, "gbd1 ", metrics::ReadBatteries, nullptr, nullptr) \
  ROW(Disks, &tSettings::ReadDisk, SlowPass, "rv22 ", metrics::ReadDisks, nullptr, nullptr) \
  ROW(BOINC, &tSettings::ReadSETI, SlowPassAfter3s, "rv23 ", ReadBOINCStep, nullptr, nullptr) \
  ROW(CountPass, nullptr, EveryPass, nullptr, PassCounter, nullptr, nullptr) \
  ROW(External, nullptr, EveryPass, "rv24 ", ReadExternalValues, nullptr, nullptr) \
  ROW(Fans, nullptr, EveryPass, nullptr, PassFans, nullptr, nullptr) \
  ROW(Mem, &tSettings::ReadMem, EveryPass, "rv32 ", metrics::ReadMemory, nullptr, nullptr) \
  ROW(UpTime, &tSettings::ReadUpTime, EveryPass, "rv27 ", metrics::ReadUptime, nullptr, nullptr) \
  ROW(StampTime, nullptr, EveryPass, "rv28 ", PassStampTime, nullptr, nullptr)
// clang-format on
