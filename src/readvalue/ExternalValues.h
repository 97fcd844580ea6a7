#pragma once
// The external value area: a shared block any local program may write readings into. Each
// pass reads it last among the sources, so its slots override every sensor program.
#include <sys/types.h>

#include <cstddef>
#include <string>

#include "platform/SharedMemory.h"
#include "readvalue/Readings.h"

namespace kv {

struct tPassContext;
class tSourceMemory;

// "$Kelvara2$-<uid>": one area per user, as a session-local name is elsewhere, so a second
// user's monitor never finds the name taken by the first.
std::string ExternalAreaName(uid_t uid);
std::string ExternalAreaName();  // this process's user
constexpr size_t ExternalAreaSize = 288;
constexpr double ExternalNoValue = -255.0;  // a slot given back by its writer

// How a group of double slots acts on its channels.
enum class tExternalRule {
  Hundredths,  // unless -255: channel := round(v × 100)
  Fan,         // v ≥ 255: RPM as is; 0 < v < 255: flow, round(-v × 100); 0: stopped; < 0: ignored
};
enum class tExternalGroup { T, V, F, CPU };

struct tExternalSlots {
  size_t offset;  // of slot 1; each slot is one double
  int count;
  tExternalGroup group;
  tExternalRule rule;
};

// The wire layout, little-endian.
constexpr tExternalSlots ExternalSlotTable[] = {
    {0, 10, tExternalGroup::T, tExternalRule::Hundredths},
    {80, 10, tExternalGroup::V, tExternalRule::Hundredths},
    {160, 10, tExternalGroup::F, tExternalRule::Fan},
    {256, 4, tExternalGroup::CPU, tExternalRule::Hundredths},
};
constexpr size_t ExternalClockOffset = 240;     // double, MHz; > 0 sets Freq (kHz)
constexpr size_t ExternalCpuCountOffset = 248;  // byte; > 0 sets CPUCount

// The block this process offers, kept in the pass's source memory.
struct tExternalArea {
  SharedMemoryBlock block;
};

// At start-up: creates the block (mode 0600), keeps it mapped and gives every channel slot
// back (-255). Logs "Cannot create memory map" or "Cannot view memory map" on failure.
void CreateExternalValueArea(tSourceMemory& memory);
// One pass step: applies the slots of the block this process created to the readings; without
// one, those of the user's own private block of that name (never a block of another user or one
// open to others). A missing block is silent; a failure is logged with "rv24 ".
void ReadExternalValues(tPassContext& ctx);
// At shut-down: unmaps and closes the block, logging each step.
void CloseExternalValueArea(tSourceMemory& memory);

// The rules of the layout applied to a mapped block; throws std::out_of_range, changing
// nothing, when the block is shorter than the layout.
void ApplyExternalValues(tReadingsState& current, const ShmView& view);

}  // namespace kv
