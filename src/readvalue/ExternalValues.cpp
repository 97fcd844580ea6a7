#include "readvalue/ExternalValues.h"

#include <cmath>
#include <cstring>

#include "core/EventLog.h"
#include "readvalue/Readings.h"

namespace kv {

const char* const ExternalAreaName = "$Kelvara2$";

namespace {

SharedMemoryBlock area;

void SetChannel(tExternalGroup group, int index, int16_t value) {
  switch (group) {
    case tExternalGroup::T: Readings.T[index] = value; break;
    case tExternalGroup::V: Readings.V[index] = value; break;
    case tExternalGroup::F: Readings.F[index] = value; break;
    case tExternalGroup::CPU: Readings.CPU[index] = value; break;
  }
}

void ApplySlot(tExternalGroup group, tExternalRule rule, int index, double v) {
  if (!std::isfinite(v)) return;  // garbage from a writer changes nothing
  switch (rule) {
    case tExternalRule::Hundredths:
      if (v != ExternalNoValue) SetChannel(group, index, StoreTimes100(v));
      break;
    case tExternalRule::Fan:
      if (v >= 255.0)
        SetChannel(group, index, StoreAsIs(v));
      else if (v > 0.0)
        SetChannel(group, index, StoreTimes100(-v));
      else if (v == 0.0)
        SetChannel(group, index, 0);  // the end of the pass turns it into no value
      break;
  }
}

}  // namespace

void ApplyExternalValues(const ShmView& view) {
  view.Require(ExternalAreaSize);
  for (const tExternalSlots& slots : ExternalSlotTable)
    for (int k = 0; k < slots.count; ++k)
      ApplySlot(slots.group, slots.rule, k, view.Double(slots.offset + 8 * static_cast<size_t>(k)));

  const double mhz = view.Double(ExternalClockOffset);
  if (std::isfinite(mhz) && mhz > 0) {
    Readings.Freq = StoreAsIs32(mhz * 1000.0);
    if (Readings.Freq != NoValue32 && Readings.Freq > FreqMax) FreqMax = Readings.Freq;
  }
  const uint8_t count = view.Byte(ExternalCpuCountOffset);
  if (count > 0) CPUCount = count;
}

void CreateExternalValueArea() {
  if (!area.Create(ExternalAreaName, ExternalAreaSize, 0600)) {
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
  for (const tExternalSlots& slots : ExternalSlotTable)
    for (int k = 0; k < slots.count; ++k)
      std::memcpy(bytes.data() + slots.offset + 8 * static_cast<size_t>(k), &ExternalNoValue,
                  sizeof ExternalNoValue);
}

void ReadExternalValues() {
  // The name can be squatted by another user before we create it: the monitor reads only the
  // block it created itself; a process that only reads (kvsysinfo) takes the user's own
  // private block and nothing else.
  if (area.IsOpen()) {
    area.Read(ApplyExternalValues, {"rv24 ", "rv24 "});
    return;
  }
  ReadPrivateSharedMemory(ExternalAreaName, tShmAccess::Full, ApplyExternalValues, {"rv24 ", "rv24 "});
}

void CloseExternalValueArea() {
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
