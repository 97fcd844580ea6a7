#pragma once
// CPU package energy from the powercap framework (RAPL on Intel and AMD): one zone
// /sys/class/powercap/intel-rapl:N per package, named "package-N", whose energy_uj counts
// microjoules and wraps at max_energy_range_uj. Readers take the root of the tree to read.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kv {

class tKeptFiles;

struct tRaplPackage {
  std::string energyPath;  // ".../intel-rapl:0/energy_uj"
  uint64_t range = 0;      // max_energy_range_uj: the counter runs 0 .. range
};

enum class tRaplAccess { Readable, NoZones, RootOnly };

struct tRaplPackages {
  tRaplAccess access = tRaplAccess::NoZones;
  std::vector<tRaplPackage> packages;  // in zone order; empty unless Readable
  std::string refusedPath;             // the energy file that was refused (RootOnly)
};

// The package zones under <root>/sys/class/powercap (sub-zones such as intel-rapl:0:0, the
// cores, are parts of their package and left out). RootOnly when a package's energy file
// exists but this user may not read it, as kernels since 2020 ship it.
tRaplPackages FindRaplPackages(const std::string& root = "/");

// The counter of one package through kept; nullopt when it cannot be read.
std::optional<uint64_t> ReadRaplEnergy(const tRaplPackage& package, tKeptFiles& kept);

// Microjoules used from previous to current, over at most one wrap at range; nullopt when the
// step cannot be one (beyond the range, or a counter that went back without a range).
std::optional<uint64_t> RaplEnergyDelta(uint64_t previous, uint64_t current, uint64_t range);

}  // namespace kv
