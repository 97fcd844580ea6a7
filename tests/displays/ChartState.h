#pragma once
// The chart suites' starting point: fixed colours the pixel tests look for, UTC display, no
// automatic scales, and every band but the one a test switches on left out.
#include "DisplayState.h"
#include "displays/Canvas.h"

namespace kv {

class ChartState : public DisplayState {
 protected:
  void SetUp() override {
    DisplayState::SetUp();
    Settings.TimeInUTC = true;
    Settings.TAutoStats = false;
    Settings.FAuto = false;
    Settings.cBack = MakeColour(224, 224, 224);
    Settings.cScBack = MakeColour(240, 240, 240);
    Settings.cScBorder = MakeColour(255, 255, 250);
    Settings.cScBorder2 = MakeColour(0, 0, 180);
    Settings.cScGrid = MakeColour(0, 180, 0);
    for (auto& c : Settings.VCfg) c.Vis = 0;
    for (auto& c : Settings.CPUCfg) c.Vis = 0;
    for (auto& s : Settings.NetSlots) s.Vis = false;
    for (auto& d : Settings.DiskSlots) d.Vis = false;
    Settings.Page = Settings.visMem = Settings.visCache = 0;
    Settings.visCPUFreq = Settings.visUser = Settings.visBat = false;
    Settings.ReadDisk = false;
  }
};

}  // namespace kv
