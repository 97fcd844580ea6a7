#include "readvalue/AllSources.h"

#include "readvalue/HwmonSource.h"
#include "readvalue/SensorSources.h"
#include "readvalue/SystemSources.h"

namespace kv {

void InstallAllSources() {
  // The sources register themselves here as they arrive.
  InstallHwmonSource();
  InstallSensorSources();
  InstallSystemSources();
}

}  // namespace kv
