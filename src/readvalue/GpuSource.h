#pragma once
// Graphics cards into the GPU slots of the readings: AMD and Intel cards from sysfs first, then
// NVIDIA's through NVML. Their temperatures and fans join the T and F channels like hwmon
// sensors (the same order map, discovery order after the hwmon sensors); sysfs cards' sensors
// already come through hwmon. Each pass also stores the GPU history in the second record.
//
// NVML calls may block for seconds, so a worker thread makes them: the pass waits for its answer
// up to NvmlDeadline, and while a call is still outstanding keeps the last figures and asks for
// nothing new. A machine without the library or a device learns so once and pays nothing more.
#include <chrono>
#include <string>
#include <vector>

#include "readvalue/HwmonSource.h"
#include "readvalue/Readings.h"

namespace kv {

struct tPassContext;

constexpr std::chrono::milliseconds NvmlDeadline{250};

// The GPU step: the card list is looked for again on every tenth pass. Failures: "rv gpu 1 " NVML.
void ReadGpus(tPassContext& ctx);
// After a settings reload the cards are looked for again; NVML keeps its state.
void ReopenGpus(tPassContext& ctx);
// Releases the card files and the worker (which unloads NVML once its last call returns).
void CloseGpus(tPassContext& ctx);

// The temperature and fan sensors of the GPUs that hwmon does not show (NVML's); a fan that
// reports only percent is left out of the RPM channels.
std::vector<tHwmonSensor> GpuSensors(const std::vector<tGpu>& gpus);

}  // namespace kv
