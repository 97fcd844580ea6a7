#include "platform/DiskMetrics.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <utility>

#include "platform/linux/SysText.h"

namespace kv {

using namespace systext;

namespace {

// Kernel, in-memory and image file systems that hold no user data worth a disk slot, and the
// file systems of optical discs.
constexpr std::string_view kPseudoTypes[] = {
    "autofs",     "aufs",       "binfmt_misc",     "bpf",         "cgroup",     "cgroup2",
    "configfs",   "cramfs",     "debugfs",         "devpts",      "devtmpfs",   "efivarfs",
    "fusectl",    "hugetlbfs",  "mqueue",          "nfsd",        "nsfs",       "overlay",
    "proc",       "pstore",     "ramfs",           "rpc_pipefs",  "securityfs", "selinuxfs",
    "squashfs",   "sysfs",      "tmpfs",           "tracefs",     "iso9660",    "udf",
    "fuse.gvfsd-fuse", "fuse.portal", "fuse.lxcfs", "fuse.snapfuse",
};

// File systems whose statvfs waits for a server.
constexpr std::string_view kNetworkTypes[] = {
    "nfs",   "nfs4",  "cifs",  "smb3",      "smbfs",          "sshfs",       "fuse.sshfs", "9p",
    "ceph",  "afs",   "davfs", "glusterfs", "fuse.glusterfs", "fuse.rclone", "fuse.s3fs",  "lustre",
};

template <size_t N>
bool InTable(const std::string_view (&table)[N], std::string_view type) {
  return std::find(std::begin(table), std::end(table), type) != std::end(table);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// mountinfo writes blank, tab, newline and backslash as "\ooo".
std::string UnescapeOctal(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size()) {
      const char a = s[i + 1], b = s[i + 2], c = s[i + 3];
      if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
        out += static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0'));
        i += 3;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

// udev writes unsafe characters of labels as "\xHH" ("My\x20Disk").
std::string UnescapeHex(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x') {
      const int hi = HexDigit(s[i + 2]), lo = HexDigit(s[i + 3]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 3;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

std::string_view BaseName(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string RealPath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return {};
  std::string result(resolved);
  ::free(resolved);
  return result;
}

std::string ReadLink(const std::string& path) {
  char target[4096];
  const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof target) return {};
  return std::string(target, static_cast<size_t>(n));
}

struct tMountLine {
  std::string_view majorMinor, mountPoint, fsType, source;
};

// "36 35 98:0 /mnt1 /mnt/parent rw,noatime master:1 - ext3 /dev/root rw,errors=continue"
std::optional<tMountLine> ParseMountLine(std::string_view line) {
  tMountLine m;
  NextField(line);  // mount id
  NextField(line);  // parent id
  m.majorMinor = NextField(line);
  NextField(line);  // root of the mount inside its file system
  m.mountPoint = NextField(line);
  if (NextField(line).empty()) return std::nullopt;  // options
  for (;;) {  // optional fields up to the lone "-"
    const std::string_view field = NextField(line);
    if (field.empty()) return std::nullopt;
    if (field == "-") break;
  }
  m.fsType = NextField(line);
  m.source = NextField(line);
  if (m.majorMinor.empty() || m.mountPoint.empty() || m.fsType.empty() || m.source.empty())
    return std::nullopt;
  return m;
}

class tBlockDevices {
 public:
  explicit tBlockDevices(const std::string& root) : root_(root) {
    const std::string folder = RootPath(root, "dev/disk/by-label/");
    for (const std::string& name : ListFolder(folder)) {
      const std::string target = ReadLink(folder + name);
      if (!target.empty()) labels_.emplace_back(std::string(BaseName(target)), UnescapeHex(name));
    }
  }

  // Kernel name of the device behind a "/dev/..." source ("/dev/mapper/root" → "dm-0").
  std::string KernelName(std::string_view source) const {
    if (source.substr(0, 5) != "/dev/") return {};
    const std::string resolved = RealPath(RootPath(root_, source.substr(1)));
    return std::string(BaseName(resolved.empty() ? source : std::string_view(resolved)));
  }

  std::string LabelOf(const std::string& kernelName) const {
    for (const auto& [device, label] : labels_)
      if (device == kernelName) return label;
    return {};
  }

  // Removable disks (USB sticks, card readers) and optical drives do not get a slot.
  bool IsRemovable(std::string_view majorMinor, const std::string& kernelName) const {
    if (kernelName.substr(0, 2) == "sr") return true;
    std::string dir;
    if (majorMinor.substr(0, 2) != "0:")  // 0:N is an anonymous device (btrfs, network)
      dir = RealPath(RootPath(root_, "sys/dev/block/" + std::string(majorMinor)));
    if (dir.empty() && !kernelName.empty())
      dir = RealPath(RootPath(root_, "sys/class/block/" + kernelName));
    if (dir.empty()) return false;
    if (::access((dir + "/partition").c_str(), F_OK) == 0) dir = dir.substr(0, dir.rfind('/'));
    if (BaseName(dir).substr(0, 2) == "sr") return true;
    return ReadUnsigned(dir + "/removable").value_or(0) == 1;
  }

 private:
  std::string root_;
  std::vector<std::pair<std::string, std::string>> labels_;  // kernel name, label
};

}  // namespace

std::vector<tMount> ReadMounts(const std::string& root) {
  std::vector<tMount> mounts;
  const auto text = ReadScratch(RootPath(root, "proc/self/mountinfo"));
  if (!text) return mounts;
  // Copy: the block-device lookups below reuse the scratch buffer.
  const std::string content(CompleteLines(*text));
  const tBlockDevices devices(root);
  std::vector<std::string> seen;  // major:minor of the devices listed so far

  std::string_view rest = content;
  while (!rest.empty()) {
    const auto line = ParseMountLine(NextLine(rest));
    if (!line || InTable(kPseudoTypes, line->fsType)) continue;
    const std::string majorMinor(line->majorMinor);
    if (std::find(seen.begin(), seen.end(), majorMinor) != seen.end()) continue;

    tMount m;
    m.mountPoint = UnescapeOctal(line->mountPoint);
    m.device = UnescapeOctal(line->source);
    m.fsType = UnescapeOctal(line->fsType);
    m.network = InTable(kNetworkTypes, line->fsType);
    if (!m.network) {
      const std::string kernelName = devices.KernelName(m.device);
      if (devices.IsRemovable(line->majorMinor, kernelName)) continue;
      m.label = devices.LabelOf(kernelName);
    }
    if (m.label.empty()) m.label = m.device;
    seen.push_back(majorMinor);
    mounts.push_back(std::move(m));
  }
  return mounts;
}

}  // namespace kv
