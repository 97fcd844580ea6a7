#pragma once
// Mounted file systems and their free space.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kv {

struct tMount {
  std::string mountPoint;  // "/home", escapes such as "\040" already decoded
  std::string device;      // "/dev/sda2", "server:/export"
  std::string fsType;      // "ext4", "nfs4"
  std::string label;       // file-system label from /dev/disk/by-label, else the device text
  bool network = false;    // a network file system: statvfs may hang while the server is away
};

// Real file systems from <root>/proc/self/mountinfo, in mount order. Left out: pseudo and
// in-memory file systems, removable and optical devices, and further mounts of a device that is
// already listed (bind mounts, btrfs subvolumes: same space, same figures).
std::vector<tMount> ReadMounts(const std::string& root = "/");

struct tDiskSpace {
  uint64_t totalBytes = 0;
  uint64_t freeBytes = 0;  // available to unprivileged users (f_bavail)
};

// statvfs on a worker thread, waiting at most timeoutMs. A call that does not return in time is
// abandoned (the thread is detached and ends whenever the kernel lets it); while it hangs, further
// calls for the same path answer nullopt at once instead of piling up threads.
std::optional<tDiskSpace> FreeSpace(const std::string& path, int timeoutMs = 2000);
// statvfs on this thread, for a file system on a local device: the kernel keeps its figures in
// memory, so the call cannot wait for a server, and a thread per call would cost more than it.
std::optional<tDiskSpace> FreeSpaceNow(const std::string& path);

}  // namespace kv
