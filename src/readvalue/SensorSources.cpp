#include "readvalue/SensorSources.h"

#include "readvalue/AcquisitionPass.h"
#include "readvalue/AtiTool.h"
#include "readvalue/AtiTrayTools.h"
#include "readvalue/CoreTemp.h"
#include "readvalue/CpuCool.h"
#include "readvalue/CpuidHwMonitor.h"
#include "readvalue/Everest.h"
#include "readvalue/HMonitor.h"
#include "readvalue/Mbm5.h"
#include "readvalue/RivaTuner.h"
#include "readvalue/SpeedFan.h"
#include "readvalue/VCool.h"

namespace kv {

namespace {

void ReadEverestBlocks() {
  ReadEverest(true);
  ReadEverest(false);
}

struct tSourceRow {
  tPassStep step;
  void (*reader)();
};

const tSourceRow SourceTable[] = {
    {tPassStep::Everest, ReadEverestBlocks},
    {tPassStep::CPUID, ReadCPUID},
    {tPassStep::CPUCooL, ReadCPUCooL},
    {tPassStep::VCool, ReadVCool},
    {tPassStep::HMonitor, ReadHMonitor},
    {tPassStep::SpeedFan, ReadSpeedFan},
    {tPassStep::AtiTool, ReadAtiTool},
    {tPassStep::RivaTuner, ReadRivaTuner},
    {tPassStep::ATITrayTools, ReadATITrayTools},
    {tPassStep::CoreTemp, ReadCoreTemp},
    {tPassStep::MBM5190, ReadMBM5190},
    {tPassStep::MBM5107, ReadMBM5107},
    {tPassStep::MBM509x, ReadMBM509x},
};

}  // namespace

void InstallSensorSources() {
  for (const tSourceRow& row : SourceTable) SetSourceReader(row.step, row.reader);
}

}  // namespace kv
