#pragma once
#include <string>

namespace kv {

struct tPassContext;

// RivaTuner's block "RTHMSharedMemory". Each sensor lands in the first channel whose
// RivaOrderT/F entry occurs in its name, and that entry becomes the whole name, so the channel
// stays bound to this sensor.
void ReadRivaTuner(tPassContext& ctx);

// "0.#": at most one decimal, none when it is 0.
std::string FormatOneDecimal(double v);

}  // namespace kv
