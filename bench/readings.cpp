// One acquisition pass as it runs today (the external area opened, mapped, read and closed),
// the same pass with every sensor program's block present as well, and the slot rules alone on
// a block already in memory.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "BenchState.h"
#include "readvalue/AcquisitionPass.h"
#include "readvalue/ExternalValues.h"
#include "readvalue/Readings.h"

namespace {

using namespace kv;

void BM_PassWithExternalArea(benchmark::State& state) {
  SetSharedMemoryPrefix("kvbench-" + std::to_string(::getpid()) + "-");
  kvbench::tBenchState s;
  s.Keep({tPassStep::External});  // the pass's own steps and the area alone
  s.pass.ResetReadings();
  CreateExternalValueArea(s.pass.Memory());
  for (auto _ : state) {
    s.pass.ReadAllValues(false);
    benchmark::DoNotOptimize(s.current.Readings.Time);
  }
  CloseExternalValueArea(s.pass.Memory());
  SetSharedMemoryPrefix("");
}
BENCHMARK(BM_PassWithExternalArea);

// ---- Every sensor program running ----

// A block filled the way its program would fill it.
class tBenchBlock {
 public:
  tBenchBlock(const std::string& name, size_t size) {
    block_.Create(name, size);
    block_.Map();
    std::memset(block_.Bytes().data(), 0, size);
  }
  template <typename T>
  void Put(size_t offset, T value) {
    std::memcpy(block_.Bytes().data() + offset, &value, sizeof value);
  }
  void PutText(size_t offset, const std::string& text) {
    std::memcpy(block_.Bytes().data() + offset, text.data(), text.size());
  }

 private:
  SharedMemoryBlock block_;
};

std::string EverestText() {
  std::string text = "<sys><id>SCPUCLK</id><label>CPU Clock</label><value>3411</value></sys>";
  for (int i = 1; i <= 10; ++i) {
    const std::string n = std::to_string(i);
    text += "<temp><id>T" + n + "</id><label>Sensor " + n + "</label><value>4" + n + ".5</value></temp>";
    text += "<fan><id>F" + n + "</id><label>Fan " + n + "</label><value>1" + n + "00</value></fan>";
    text += "<volt><id>V" + n + "</id><label>Rail " + n + "</label><value>1." + n + "</value></volt>";
  }
  return text;
}

std::vector<std::unique_ptr<tBenchBlock>> EverySensorBlock() {
  std::vector<std::unique_ptr<tBenchBlock>> blocks;
  auto add = [&](const char* name, size_t size) {
    return blocks.emplace_back(std::make_unique<tBenchBlock>(name, size)).get();
  };
  const std::string everest = EverestText();
  add("AIDA64_SensorValues", 4096)->PutText(0, everest.substr(0, 4000));
  add("EVEREST_SensorValues", 4096)->PutText(0, everest.substr(0, 4000));

  // CPUID: one chip with 10 voltages, 10 temperatures and 5 fans.
  tBenchBlock* cpuid = add("$CPUID$HWM$", 84 + 152 + 48 * 25);
  cpuid->Put<uint8_t>(80, 1);
  cpuid->PutText(84, "IT8718F");
  const uint8_t counts[] = {10, 10, 5};
  for (size_t j = 0; j < 3; ++j) cpuid->Put<uint8_t>(84 + 72 + 8 * j, counts[j]);
  for (size_t s = 0; s < 25; ++s) {
    cpuid->PutText(84 + 152 + 48 * s, "Sensor " + std::to_string(s));
    cpuid->Put<float>(84 + 152 + 48 * s + 36, 40.0f + static_cast<float>(s));
  }

  tBenchBlock* cpuCool = add("CPUCooL$Data$Area", 100);
  cpuCool->Put<int32_t>(84, 1);
  for (size_t k = 0; k < 10; ++k) cpuCool->Put<int32_t>(4 * k, 40);
  tBenchBlock* vcool = add("VCOOL_SHARED_DATA", 58);
  vcool->Put<uint32_t>(36, 45);
  tBenchBlock* hmonitor = add("Hmonitor_Counters_Block", 56);
  hmonitor->Put<float>(4, 44.0f);
  tBenchBlock* speedFan = add("SFSharedMemory_ALM", 402);
  for (size_t i = 0; i < 32; ++i) speedFan->Put<int32_t>(18 + 4 * i, 4000);
  tBenchBlock* atiTool = add("ATIToolData", 90);
  atiTool->Put<double>(72, 55.0);

  // RivaTuner: four entries of the fixed-size version.
  tBenchBlock* riva = add("RTHMSharedMemory", 20 + 64 * 4);
  riva->Put<uint32_t>(0, 0x5254484D);
  riva->Put<uint32_t>(4, 0x10000);
  riva->Put<int32_t>(8, 4);
  const char* const names[] = {"GPU temperature", "Memory temperature", "Fan speed", "Core clock"};
  for (size_t e = 0; e < 4; ++e) {
    riva->PutText(20 + 64 * e, names[e]);
    riva->Put<float>(20 + 64 * e + 52, 60.0f);
  }

  tBenchBlock* att = add("ATITRAY_SMEM", 68);
  att->Put<uint32_t>(20, 60);
  tBenchBlock* coreTemp = add("CoreTempMappingObject", 2686);
  coreTemp->Put<uint32_t>(1536, 4);
  coreTemp->Put<uint32_t>(1540, 1);
  for (size_t n = 0; n < 4; ++n) coreTemp->Put<float>(1544 + 4 * n, 50.0f);
  tBenchBlock* mbm519 = add("$M$B$M$5$S$D$", 88 + 80 * 100);
  for (size_t r = 0; r < 100; ++r) {
    mbm519->Put<uint8_t>(88 + 80 * r, static_cast<uint8_t>(r % 4));
    mbm519->Put<double>(88 + 80 * r + 16, 12.0);
  }
  tBenchBlock* mbm5 = add("$M$B$M$5$D$", 164);  // both older layouts valid
  mbm5->Put<int32_t>(160, 1);
  mbm5->Put<int32_t>(112, 1);
  return blocks;
}

void OnlySensorSources(kvbench::tBenchState& s) {
  s.Keep({tPassStep::Everest, tPassStep::CPUID, tPassStep::CPUCooL, tPassStep::VCool,
          tPassStep::HMonitor, tPassStep::SpeedFan, tPassStep::AtiTool, tPassStep::RivaTuner,
          tPassStep::ATITrayTools, tPassStep::CoreTemp, tPassStep::MBM5190, tPassStep::MBM5107,
          tPassStep::MBM509x, tPassStep::External});
}

// Passes with every sensor block present; choose picks the sources.
void PassesWithEveryBlock(benchmark::State& state, void (*choose)(kvbench::tBenchState&)) {
  SetSharedMemoryPrefix("kvbench-" + std::to_string(::getpid()) + "-");
  kvbench::tBenchState s;
  choose(s);
  s.pass.ResetReadings();
  CreateExternalValueArea(s.pass.Memory());
  const auto blocks = EverySensorBlock();
  for (auto _ : state) {
    s.pass.ReadAllValues(false);
    benchmark::DoNotOptimize(s.current.Readings.Time);
  }
  CloseExternalValueArea(s.pass.Memory());
  SetSharedMemoryPrefix("");
}

void BM_PassWithEverySensorBlock(benchmark::State& state) { PassesWithEveryBlock(state, OnlySensorSources); }
BENCHMARK(BM_PassWithEverySensorBlock);

// What the monitor runs every tick: every source installed, every block present, this machine's
// own figures, and the disk scan of every tenth pass.
void BM_PassEverySource(benchmark::State& state) {
  PassesWithEveryBlock(state, [](kvbench::tBenchState&) {});
}
BENCHMARK(BM_PassEverySource);

void BM_ApplyExternalValues(benchmark::State& state) {
  std::array<std::byte, ExternalAreaSize> block{};
  for (size_t at = 0; at + 8 <= block.size(); at += 8) {
    const double v = 40.0 + static_cast<double>(at) / 8.0;
    std::memcpy(block.data() + at, &v, 8);
  }
  const ShmView view(block);
  kvbench::tBenchState s;
  s.pass.ResetReadings();
  for (auto _ : state) {
    ApplyExternalValues(s.current, view);
    benchmark::DoNotOptimize(s.current.Readings.T[0]);
  }
}
BENCHMARK(BM_ApplyExternalValues);

}  // namespace

BENCHMARK_MAIN();
