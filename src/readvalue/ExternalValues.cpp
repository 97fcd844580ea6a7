#include "readvalue/ExternalValues.h"

#include <unistd.h>

#include <cmath>
#include <cstring>

#include "core/EventLog.h"
#include "readvalue/PassContext.h"
#include "readvalue/Readings.h"

namespace kv {

std::string ExternalAreaName(uid_t uid) { return "$Kelvara2$-" + std::to_string(uid); }
std::string ExternalAreaName() { return ExternalAreaName(::geteuid()); }

namespace {

void SetChannel(tReadings& r, tExternalGroup group, int index, int16_t value) {
  switch (group) {
    case tExternalGroup::T: r.T[index] = value; break;
    case tExternalGroup::V: r.V[index] = value; break;
    case tExternalGroup::F: r.F[index] = value; break;
    case tExternalGroup::CPU: r.CPU[index] = value; break;
  }
}

void ApplySlot(tReadings& r, tExternalGroup group, tExternalRule rule, int index, double v) {
  if (!std::isfinite(v)) return;  // garbage from a writer changes nothing
  switch (rule) {
    case tExternalRule::Hundredths:
      if (v != ExternalNoValue) SetChannel(r, group, index, StoreTimes100(v));
      break;
    case tExternalRule::Fan:
      if (v >= 255.0)
        SetChannel(r, group, index, StoreAsIs(v));
      else if (v > 0.0)
        SetChannel(r, group, index, StoreTimes100(-v));
      else if (v == 0.0)
        SetChannel(r, group, index, 0);  // the end of the pass turns it into no value
      break;
  }
}

}  // namespace

void ApplyExternalValues(tReadingsState& current, const ShmView& view) {
  view.Require(ExternalAreaSize);
  tReadings& r = current.Readings;
  for (const tExternalSlots& block : ExternalSlotTable)
    for (int k = 0; k < block.count; ++k)
      ApplySlot(r, block.group, block.rule, k, view.Double(block.offset + 8 * static_cast<size_t>(k)));

  const double mhz = view.Double(ExternalClockOffset);
  if (std::isfinite(mhz) && mhz > 0) {
    r.Freq = StoreAsIs32(mhz * 1000.0);
    if (r.Freq != NoValue32 && r.Freq > current.FreqMax) current.FreqMax = r.Freq;
  }
  const uint8_t count = view.Byte(ExternalCpuCountOffset);
  if (count > 0) current.CPUCount = count;
}

void CreateExternalValueArea(tSourceMemory& memory) {
  SharedMemoryBlock& area = memory.Get<tExternalArea>().block;
  if (!area.Create(ExternalAreaName(), ExternalAreaSize, 0600)) {
    LogEvent("Cannot create memory map");
    return;
  }
  if (!area.Map()) {
    area.Close();
    LogEvent("Cannot view memory map");
    return;
  }
  std::span<std::byte> bytes = area.Bytes();
  std::memset(bytes.data(), 0, bytes.size());  // clock and processor count start at 0
  for (const tExternalSlots& block : ExternalSlotTable)
    for (int k = 0; k < block.count; ++k)
      std::memcpy(bytes.data() + block.offset + 8 * static_cast<size_t>(k), &ExternalNoValue,
                  sizeof ExternalNoValue);
}

void ReadExternalValues(tPassContext& ctx) {
  // The name can be squatted by another user before we create it: the monitor reads only the
  // block it created itself; a process that only reads (kvsysinfo) takes the user's own
  // private block and nothing else.
  SharedMemoryBlock& area = ctx.Memory.Get<tExternalArea>().block;
  const auto apply = [&ctx](const ShmView& view) { ApplyExternalValues(ctx.Current, view); };
  if (area.IsOpen()) {
    area.Read(apply, {"rv24 ", "rv24 "});
    return;
  }
  ReadPrivateSharedMemory(ExternalAreaName(), tShmAccess::Full, apply, {"rv24 ", "rv24 "});
}

void CloseExternalValueArea(tSourceMemory& memory) {
  SharedMemoryBlock& area = memory.Get<tExternalArea>().block;
  if (area.IsMapped()) {
    LogEvent("Unmapping shared mem");
    area.Unmap();
  }
  if (area.IsOpen()) {
    LogEvent("Closing handle");
    area.Close();
  }
}

}  // namespace kv
