// The system-figure readers on this machine's real /proc and /sys. The whole acquisition pass has
// a budget of about 0.36 ms, so each reader should stay well below that.
#include <benchmark/benchmark.h>

#include "platform/CpuMetrics.h"
#include "platform/DiskMetrics.h"
#include "platform/MemoryMetrics.h"
#include "platform/NetMetrics.h"
#include "platform/PowerSupply.h"
#include "platform/ThermalZones.h"

namespace {

void CpuTimes(benchmark::State& state) {
  kv::tCpuTimes previous = kv::ReadCpuTimes();
  for (auto _ : state) {
    kv::tCpuTimes current = kv::ReadCpuTimes();
    benchmark::DoNotOptimize(kv::CpuLoads(previous, current));
    previous = std::move(current);
  }
}
BENCHMARK(CpuTimes);

void CpuClock(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(kv::ReadCpuClock());
}
BENCHMARK(CpuClock);

void MemInfo(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(kv::ReadMemInfo());
}
BENCHMARK(MemInfo);

void Uptime(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(kv::ReadUptimeSeconds());
}
BENCHMARK(Uptime);

void BootClock(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(kv::BootClockSeconds());
}
BENCHMARK(BootClock);

void Mounts(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(kv::ReadMounts());
}
BENCHMARK(Mounts);

void FreeSpaceOfRoot(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(kv::FreeSpace("/", 2000));
}
BENCHMARK(FreeSpaceOfRoot);

void NetInterfaces(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(kv::ReadNetInterfaces());
}
BENCHMARK(NetInterfaces);

void NetInterfacesFromKernel(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(kv::ReadNetInterfacesFromKernel());
}
BENCHMARK(NetInterfacesFromKernel);

void NetInterfacesWithAddresses(benchmark::State& state) {
  for (auto _ : state) {
    auto list = kv::ReadNetInterfacesFromKernel();
    if (!list) list = kv::ReadNetInterfaces();
    kv::AttachIpv4Addresses(*list);
    benchmark::DoNotOptimize(list);
  }
}
BENCHMARK(NetInterfacesWithAddresses);

void Batteries(benchmark::State& state) {
  const auto names = kv::FindBatteries();
  for (auto _ : state) {
    for (const auto& name : names) benchmark::DoNotOptimize(kv::ReadBattery("/", name));
    benchmark::DoNotOptimize(kv::ReadAcOnline());
  }
}
BENCHMARK(Batteries);

void ThermalZones(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(kv::ReadThermalZones());
}
BENCHMARK(ThermalZones);

}  // namespace

BENCHMARK_MAIN();
