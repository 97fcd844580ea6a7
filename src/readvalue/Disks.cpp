#include <string_view>

#include "core/EventLog.h"
#include "platform/DiskMetrics.h"
#include "readvalue/PassContext.h"
#include "readvalue/Readings.h"
#include "readvalue/SystemSources.h"
#include "settings/Channels.h"
#include "settings/Settings.h"

namespace kv::metrics {

namespace {

// A mount point that hangs (a server gone away) costs a pass at most this long.
constexpr int FreeSpaceTimeoutMs = 1000;

// Characters of a mount point that would break the "root label" form of a slot's Drive.
struct tEscape {
  char c;
  std::string_view text;
};
constexpr tEscape Escapes[] = {{' ', "\\040"}, {'\t', "\\011"}, {'\\', "\\134"}};

bool NamesRoot(const std::string& drive, const std::string& root) {
  return drive.compare(0, root.size(), root) == 0 &&
         (drive.size() == root.size() || drive[root.size()] == ' ');
}

// The slot that names this mount, else the first empty one. Network file systems only count
// when a slot names them: taking a slot unasked would put a server's answer time into the pass.
void BindToSlot(std::array<tDiskSlot, DiskSlotCount>& diskSlots, const tMount& mount, const std::string& root) {
  for (const tDiskSlot& slot : diskSlots)
    if (NamesRoot(slot.Drive, root)) return;
  if (mount.network) return;
  for (tDiskSlot& slot : diskSlots) {
    if (!slot.Drive.empty()) continue;
    slot.Drive = root + " " + root + " " + mount.label;
    slot.Label = mount.label;
    return;
  }
}

// Network and FUSE file systems answer statvfs through a server or a program that may be gone.
bool MayHang(const std::vector<tMount>& mounts, const std::string& mountPoint) {
  for (const tMount& mount : mounts)
    if (mount.mountPoint == mountPoint) return mount.network || mount.fsType.compare(0, 4, "fuse") == 0;
  return true;  // not mounted as we know it: ask the careful way
}

void QuerySlot(const tPassContext& ctx, const std::vector<tMount>& mounts, tDiskSlot& slot) {
  slot.TotalKB = 0;
  slot.FreeKB = 0;
  if (slot.Drive.empty()) return;
  const size_t blank = slot.Drive.find(' ');
  const std::string path = slot.Drive.substr(0, blank);
  slot.Label = blank == std::string::npos ? std::string() : slot.Drive.substr(blank);
  const std::string mountPoint = MountPointOfRoot(path);
  const std::string inRoot = ctx.InRoot(mountPoint);
  const std::optional<tDiskSpace> space =
      MayHang(mounts, mountPoint) ? FreeSpace(inRoot, FreeSpaceTimeoutMs) : FreeSpaceNow(inRoot);
  if (!space) {
    LogEvent("ERROR during GetDiskFreeSpaceEx on \"" + path +
             "\": no answer within 1 s, or not a file system that can be asked");
    return;
  }
  slot.TotalKB = static_cast<int64_t>(space->totalBytes / 1024);
  slot.FreeKB = static_cast<int64_t>(space->freeBytes / 1024);
}

}  // namespace

std::string DriveRootText(const std::string& mountPoint) {
  std::string out;
  for (const char c : mountPoint) {
    std::string_view escaped;
    for (const tEscape& e : Escapes)
      if (e.c == c) escaped = e.text;
    if (escaped.empty()) out += c;
    else out += escaped;
  }
  return out;
}

std::string MountPointOfRoot(const std::string& rootText) {
  std::string out;
  for (size_t i = 0; i < rootText.size(); ++i) {
    bool replaced = false;
    for (const tEscape& e : Escapes) {
      if (rootText.compare(i, e.text.size(), e.text) != 0) continue;
      out += e.c;
      i += e.text.size() - 1;
      replaced = true;
      break;
    }
    if (!replaced) out += rootText[i];
  }
  return out;
}

void ReadDisks(tPassContext& ctx) {
  std::array<tDiskSlot, DiskSlotCount>& diskSlots = ctx.Settings.DiskSlots;
  try {
    std::vector<tDiskMon> mons;
    const std::vector<tMount> mounts = ReadMounts(ctx.SystemRoot);
    for (const tMount& mount : mounts) {
      const std::string root = DriveRootText(mount.mountPoint);
      mons.push_back({root, mount.label});
      BindToSlot(diskSlots, mount, root);
    }
    ctx.Current.DiskMons = std::move(mons);
    for (tDiskSlot& slot : diskSlots) {
      try {
        QuerySlot(ctx, mounts, slot);
      } catch (const std::exception& e) {
        LogError("fdm1 ", e);
      }
    }
  } catch (const std::exception& e) {
    LogError("fdm2 ", e);
  }
}

}  // namespace kv::metrics
