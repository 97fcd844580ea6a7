#include "platform/Powercap.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/KeptFiles.h"
#include "platform/linux/SysText.h"

namespace kv {

using namespace systext;

namespace {

// Whether the file exists but opening it is refused to this user.
bool Refused(const std::string& path) {
  const int fd = OpenRegularFile(path, true);
  if (fd >= 0) {
    ::close(fd);
    return false;
  }
  return errno == EACCES || errno == EPERM;
}

}  // namespace

tRaplPackages FindRaplPackages(const std::string& root) {
  tRaplPackages found;
  const std::string folder = RootPath(root, "sys/class/powercap/");
  std::vector<std::pair<uint64_t, std::string>> zones;
  for (const std::string& name : ListFolder(folder))
    if (const auto n = NumberAfter(name, "intel-rapl:")) zones.emplace_back(*n, name);
  std::sort(zones.begin(), zones.end());
  for (const auto& [number, name] : zones) {
    const std::string base = folder + name + "/";
    const std::optional<std::string> zoneName = ReadTrimmed(base + "name");
    if (!zoneName || zoneName->rfind("package-", 0) != 0) continue;
    tRaplPackage package{base + "energy_uj", ReadUnsigned(base + "max_energy_range_uj").value_or(0)};
    if (ReadUnsigned(package.energyPath)) {
      found.packages.push_back(std::move(package));
    } else if (Refused(package.energyPath)) {
      // One refused package makes the sum meaningless: none is read.
      found.packages.clear();
      found.access = tRaplAccess::RootOnly;
      found.refusedPath = package.energyPath;
      return found;
    }
  }
  if (!found.packages.empty()) found.access = tRaplAccess::Readable;
  return found;
}

std::optional<uint64_t> ReadRaplEnergy(const tRaplPackage& package, tKeptFiles& kept) {
  const std::optional<std::string_view> text = kept.Read(package.energyPath, true);
  return text ? ParseUnsigned(TrimView(*text)) : std::nullopt;
}

std::optional<uint64_t> RaplEnergyDelta(uint64_t previous, uint64_t current, uint64_t range) {
  if (current >= previous) {
    if (range != 0 && current - previous > range) return std::nullopt;
    return current - previous;
  }
  // The counter wrapped: it ran up to range, restarted at 0 and reached current (counted as
  // the kernel's own turbostat counts it).
  if (range == 0 || previous > range) return std::nullopt;
  return range - previous + current;
}

}  // namespace kv
