// One harness per shared-memory reader: the fuzz bytes become the whole block, exactly as the
// sensor program would leave it in /dev/shm, then the pass step reads it. Which reader this
// program drives is fixed at build time (KV_FUZZ_READER names a row of the table).
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "readvalue/AtiTool.h"
#include "readvalue/AtiTrayTools.h"
#include "readvalue/CoreTemp.h"
#include "readvalue/CpuCool.h"
#include "readvalue/CpuidHwMonitor.h"
#include "readvalue/Everest.h"
#include "readvalue/ExternalValues.h"
#include "readvalue/HMonitor.h"
#include "readvalue/Mbm5.h"
#include "readvalue/Readings.h"
#include "readvalue/RivaTuner.h"
#include "readvalue/SpeedFan.h"
#include "readvalue/VCool.h"

namespace {

using kvfuzz::Image;
using Seeds = std::vector<std::string>;

// ---- Seeds laid out as the readers' tests lay out their blocks ----

Seeds EverestSeeds() {
  return {"<sys><id>SCPUCLK</id><label>CPU Clock</label><value>3411</value></sys>"
          "<temp><id>TCPU</id><label>CPU</label><value>45.5</value></temp>"
          "<temp><id>TMOBO</id><label>Motherboard</label><value>31</value></temp>"
          "<fan><id>FCPU</id><label>CPU</label><value>1830</value></fan>"
          "<volt><id>VCPU</id><label>CPU Core</label><value>1.216</value></volt>"
          "<volt><id>V12</id><label>+12 V</label><value>12.096</value></volt>",
          "<temp><label>GPU</label><value>abc</value></temp><fan><label>Pump</label><value>-5</value></fan>",
          "<sys><label>CPU Clock</label><value>1e308</value></sys><temp><value>"};
}

Seeds CpuidSeeds() {
  // Two devices; the first with a voltage, two temperatures and a fan.
  const size_t sensors = 5;
  Image b(84 + 152 * 2 + 48 * sensors);
  b.Put<uint8_t>(80, 2).Text(84, "ASUS P8Z68-V").Put<uint8_t>(84 + 72, 1).Put<uint8_t>(84 + 80, 2);
  b.Put<uint8_t>(84 + 88, 1).Text(84 + 152, "Intel Core i7").Put<uint8_t>(84 + 152 + 80, 1);
  const size_t first = 84 + 152 * 2;
  const char* names[] = {"VCORE", "TMPIN0", "TMPIN1", "FANIN0", "Package"};
  const float values[] = {1.2f, 41.0f, 38.5f, 1450.0f, 52.0f};
  for (size_t s = 0; s < sensors; ++s) b.Text(first + 48 * s, names[s]).Put<float>(first + 48 * s + 36, values[s]);
  Image huge(84 + 152);
  huge.Put<uint8_t>(80, 1).Put<uint8_t>(84 + 80, 200);
  return {b.Bytes(), huge.Bytes()};
}

Seeds CpuCoolSeeds() {
  Image b(100);
  b.Put<int32_t>(0, 45).Put<int32_t>(4, 38).Put<float>(40, 1.35f).Put<float>(44, 3.3f);
  b.Put<int32_t>(68, 2100).Put<int32_t>(84, 1).Put<int32_t>(92, 512).Put<int32_t>(96, 1024);
  return {b.Bytes(), Image(88).Put<int32_t>(84, 1).Bytes()};
}

Seeds VCoolSeeds() {
  Image b(58);
  b.Put<uint32_t>(36, 52).Put<uint32_t>(40, 40).Put<uint32_t>(44, 2300).Put<int16_t>(56, 87);
  return {b.Bytes()};
}

Seeds HMonitorSeeds() {
  Image b(56);
  b.Put<float>(4, 44.5f).Put<float>(8, 37.0f).Put<float>(16, 1.5f).Put<float>(20, 3.31f).Put<float>(24, 5.02f);
  b.Put<float>(28, 12.1f).Put<int32_t>(44, 2600).Put<int32_t>(48, 255);
  return {b.Bytes()};
}

Seeds SpeedFanSeeds() {
  Image b(274 + 128);
  b.Put<int32_t>(18 + 36, 4750).Put<int32_t>(18, 3125).Put<int32_t>(146 + 36, 2400).Put<int32_t>(274 + 36, 1205);
  return {b.Bytes(), Image(274 + 127).Bytes()};
}

Seeds AtiToolSeeds() {
  Image b(90);
  b.Put<double>(72, 55.25).Put<double>(80, 61.0).Put<uint16_t>(88, 3100);
  return {b.Bytes()};
}

Seeds RivaTunerSeeds() {
  auto block = [](uint32_t version, uint32_t entrySize, const std::vector<std::pair<std::string, float>>& entries) {
    const size_t stride = version == 0x10000 ? 64 : entrySize;
    Image b(20 + stride * entries.size());
    b.Put<uint32_t>(0, 0x5254484D).Put<uint32_t>(4, version).Put<int32_t>(8, static_cast<int32_t>(entries.size()));
    b.Put<uint32_t>(16, entrySize);
    for (size_t e = 0; e < entries.size(); ++e)
      b.Text(20 + stride * e, entries[e].first).Put<float>(20 + stride * e + 52, entries[e].second);
    return b.Bytes();
  };
  return {block(0x10000, 0, {{"Core temperature", 61.5f}, {"Fan speed", 45.0f}}),
          block(0x20000, 80, {{"GPU1 temperature", 58.0f}, {"Fan tachometer", 2150.0f}, {"Core clock", 705.0f}})};
}

Seeds AtiTrayToolsSeeds() {
  Image b(68);
  b.Put<uint32_t>(20, 64).Put<uint32_t>(24, 43).Put<uint32_t>(64, 35);
  return {b.Bytes()};
}

Seeds CoreTempSeeds() {
  Image b(2686);
  b.Put<uint32_t>(1024, 100).Put<uint32_t>(1536, 4).Put<uint32_t>(1540, 1);
  for (int c = 0; c < 4; ++c) b.Put<float>(1544 + 4 * c, 40.0f + c);
  b.Put<float>(2568, 1.248f).Put<float>(2572, 3400.5f);
  Image distance = b;
  distance.Put<uint8_t>(2685, 1).Put<uint8_t>(2684, 1).Put<uint32_t>(1536, 0xFFFFFFFF);
  return {b.Bytes(), distance.Bytes()};
}

Seeds Mbm5190Seeds() {
  Image b(88 + 80 * 100);
  const uint8_t kinds[] = {1, 1, 2, 2, 3, 3, 0};
  const double values[] = {42.0, 36.5, 1.52, 12.2, 2650, 255, 0};
  for (size_t r = 0; r < sizeof kinds; ++r)
    b.Put<uint8_t>(88 + 80 * r, kinds[r]).Put<double>(88 + 80 * r + 16, values[r]);
  return {b.Bytes()};
}

Seeds Mbm5107Seeds() {
  Image b(164);
  b.Put<int32_t>(0, 44).Put<double>(40, 1.6).Put<double>(48, 3.3).Put<int32_t>(120, 2200).Put<int32_t>(160, 3);
  return {b.Bytes()};
}

Seeds Mbm509xSeeds() {
  Image b(116);
  b.Put<int32_t>(0, 39).Put<double>(40, 1.75).Put<int32_t>(96, 1900).Put<int32_t>(112, 2);
  return {b.Bytes()};
}

Seeds ExternalSeeds() {
  Image b(kv::ExternalAreaSize);
  for (int s = 0; s < 10; ++s) {
    b.Put<double>(8 * s, s < 3 ? 40.0 + s : kv::ExternalNoValue);
    b.Put<double>(80 + 8 * s, s < 2 ? 1.25 * (s + 1) : kv::ExternalNoValue);
    b.Put<double>(160 + 8 * s, s == 0 ? 1800.0 : s == 1 ? 120.5 : kv::ExternalNoValue);
  }
  b.Put<double>(240, 3600.0).Put<uint8_t>(248, 8);
  for (int s = 0; s < 4; ++s) b.Put<double>(256 + 8 * s, 12.5 * s);
  return {b.Bytes()};
}

struct tReaderRow {
  const char* name;   // the harness is fuzz_<name>
  const char* block;  // the block name the reader opens; null: this user's external area
  void (*read)(kv::tPassContext&);
  Seeds (*seeds)();
};

const tReaderRow ReaderTable[] = {
    {"everest", "EVEREST_SensorValues", [](kv::tPassContext& ctx) { kv::ReadEverest(ctx, false); }, EverestSeeds},
    {"aida64", "AIDA64_SensorValues", [](kv::tPassContext& ctx) { kv::ReadEverest(ctx, true); }, EverestSeeds},
    {"cpuid", "$CPUID$HWM$", kv::ReadCPUID, CpuidSeeds},
    {"cpucool", "CPUCooL$Data$Area", kv::ReadCPUCooL, CpuCoolSeeds},
    {"vcool", "VCOOL_SHARED_DATA", kv::ReadVCool, VCoolSeeds},
    {"hmonitor", "Hmonitor_Counters_Block", kv::ReadHMonitor, HMonitorSeeds},
    {"speedfan", "SFSharedMemory_ALM", kv::ReadSpeedFan, SpeedFanSeeds},
    {"atitool", "ATIToolData", kv::ReadAtiTool, AtiToolSeeds},
    {"rivatuner", "RTHMSharedMemory", kv::ReadRivaTuner, RivaTunerSeeds},
    {"atitraytools", "ATITRAY_SMEM", kv::ReadATITrayTools, AtiTrayToolsSeeds},
    {"coretemp", "CoreTempMappingObject", kv::ReadCoreTemp, CoreTempSeeds},
    {"mbm5190", "$M$B$M$5$S$D$", kv::ReadMBM5190, Mbm5190Seeds},
    {"mbm5107", "$M$B$M$5$D$", kv::ReadMBM5107, Mbm5107Seeds},
    {"mbm509x", "$M$B$M$5$D$", kv::ReadMBM509x, Mbm509xSeeds},
    {"external", nullptr, kv::ReadExternalValues, ExternalSeeds},
};

const tReaderRow& Row() {
  static const tReaderRow* row = [] {
    for (const tReaderRow& r : ReaderTable)
      if (std::string_view(r.name) == KV_FUZZ_READER) return &r;
    kvfuzz::Fail("no reader row named " KV_FUZZ_READER);
  }();
  return *row;
}

kvfuzz::Block* block = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kvfuzz::Init();
  if (!kvfuzz::SeedFolder().empty()) {
    int n = 0;
    for (const std::string& seed : Row().seeds()) kvfuzz::WriteSeed("seed" + std::to_string(++n), seed);
    std::exit(0);
  }
  block = new kvfuzz::Block(Row().block ? std::string(Row().block) : kv::ExternalAreaName());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvtest::PassState& s = kvfuzz::FreshSensorState();
  block->Fill(data, size);
  try {
    Row().read(s.Ctx);
  } catch (const std::exception&) {
    // Some steps hand their reading error on to the pass's guard; that is their contract.
  }
  return 0;
}
