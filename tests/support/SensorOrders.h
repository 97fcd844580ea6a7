#pragma once
// The order maps the sensor-source tests and fuzz harnesses read blocks with: SpeedFan backwards
// (entry 9 feeds channel 1), MBM in order, AIDA64 by the channel's own number, the rest as the
// programs ship them. Header-only: the fuzz build has no test library.
#include <string>

#include "settings/Channels.h"
#include "settings/Settings.h"

namespace kvtest {

inline void UseSourceOrderMaps(kv::tSettings& s) {
  for (int i = 1; i <= kv::TempChannels; ++i) {
    const auto x = static_cast<size_t>(kv::ChannelIndex(i));
    s.SFOrderT[x] = s.SFOrderF[x] = s.SFOrderV[x] = static_cast<uint8_t>(10 - i);
    s.MBMOrderT[x] = static_cast<uint8_t>(i - 1);
    s.AIDAOrderT[x] = s.AIDAOrderF[x] = s.AIDAOrderV[x] = std::to_string(i);
  }
  kv::SetDefaultAtiToolOrder(s);
  kv::SetDefaultRivaOrder(s);
  kv::SetDefaultATTOrder(s);
}

}  // namespace kvtest
