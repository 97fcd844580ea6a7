#include "platform/DiskMetrics.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/FakeTree.h"

namespace kv {
namespace {

using kvtest::Link;
using kvtest::Put;
using kvtest::TempDir;

// A machine with an internal disk sda (sda2 root, sda3 data), an NVMe disk under btrfs, an
// encrypted volume on dm-0, a USB stick sdb and a DVD drive sr0, laid out as sysfs and udev do.
void MakeBlockDevices(const std::string& root) {
  const std::string pci = "sys/devices/pci0000:00/0000:00:17.0/block/";
  Put(root, pci + "sda/removable", "0\n");
  Put(root, pci + "sda/sda2/partition", "2\n");
  Put(root, pci + "sda/sda3/partition", "3\n");
  Put(root, pci + "nvme0n1/removable", "0\n");
  Put(root, pci + "nvme0n1/nvme0n1p2/partition", "2\n");
  Put(root, "sys/devices/virtual/block/dm-0/removable", "0\n");
  const std::string usb = "sys/devices/pci0000:00/usb1/1-2/block/";
  Put(root, usb + "sdb/removable", "1\n");
  Put(root, usb + "sdb/sdb1/partition", "1\n");
  Put(root, "sys/devices/pci0000:00/ata2/block/sr0/removable", "1\n");

  Link(root, "sys/dev/block/8:2", "../../devices/pci0000:00/0000:00:17.0/block/sda/sda2");
  Link(root, "sys/dev/block/8:3", "../../devices/pci0000:00/0000:00:17.0/block/sda/sda3");
  Link(root, "sys/dev/block/8:17", "../../devices/pci0000:00/usb1/1-2/block/sdb/sdb1");
  Link(root, "sys/dev/block/11:0", "../../devices/pci0000:00/ata2/block/sr0");
  Link(root, "sys/dev/block/253:0", "../../devices/virtual/block/dm-0");
  Link(root, "sys/class/block/nvme0n1p2",
       "../../devices/pci0000:00/0000:00:17.0/block/nvme0n1/nvme0n1p2");

  Put(root, "dev/dm-0", "");
  Link(root, "dev/mapper/cryptdata", "../dm-0");
  Link(root, "dev/disk/by-label/My\\x20Data", "../../sda3");
  Link(root, "dev/disk/by-label/vault", "../../dm-0");
  Link(root, "dev/disk/by-label/STICK", "../../sdb1");
}

TEST(Mounts, RealFileSystemsWithLabelsInMountOrder) {
  TempDir root;
  MakeBlockDevices(root.Path());
  Put(root.Path(), "proc/self/mountinfo",
      "21 26 0:20 / /proc rw,relatime - proc proc rw\n"
      "22 26 0:21 / /sys rw,relatime - sysfs sysfs rw\n"
      "26 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
      "27 26 0:24 / /run rw - tmpfs tmpfs rw\n"
      "28 26 0:25 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n"
      "29 26 8:3 / /mnt/My\\040Data\\011(old) rw shared:5 master:2 - ext4 /dev/sda3 rw\n"
      "30 26 0:45 /@home /home rw - btrfs /dev/nvme0n1p2 rw,subvol=/@home\n"
      "31 26 0:45 /@var /var rw - btrfs /dev/nvme0n1p2 rw,subvol=/@var\n"
      "32 26 8:2 /srv /srv rw - ext4 /dev/sda2 rw\n"
      "33 26 7:1 / /snap/core/1 ro - squashfs /dev/loop1 ro\n"
      "34 26 253:0 / /vault rw - xfs /dev/mapper/cryptdata rw\n"
      "35 26 8:17 / /media/u/STICK rw - vfat /dev/sdb1 rw\n"
      "36 26 11:0 / /media/u/DVD ro - iso9660 /dev/sr0 ro\n"
      "37 26 0:50 / /net/share rw - nfs4 nas:/export/share rw,vers=4.2\n"
      "38 26 0:51 / /mnt/ssh rw - fuse.sshfs me@host:/home/me rw\n"
      "39 26 8:5 / /broken rw\n"
      "40 26 8:6 / /cut rw - ext4\n");
  const std::vector<tMount> mounts = ReadMounts(root.Path());
  ASSERT_EQ(mounts.size(), 6u);

  EXPECT_EQ(mounts[0].mountPoint, "/");
  EXPECT_EQ(mounts[0].device, "/dev/sda2");
  EXPECT_EQ(mounts[0].fsType, "ext4");
  EXPECT_EQ(mounts[0].label, "/dev/sda2");  // no label: the device stands in
  EXPECT_FALSE(mounts[0].network);

  EXPECT_EQ(mounts[1].mountPoint, "/mnt/My Data\t(old)");
  EXPECT_EQ(mounts[1].label, "My Data");

  EXPECT_EQ(mounts[2].mountPoint, "/home");  // /var is the same btrfs, /srv a bind of /
  EXPECT_EQ(mounts[2].fsType, "btrfs");

  EXPECT_EQ(mounts[3].mountPoint, "/vault");
  EXPECT_EQ(mounts[3].label, "vault");  // found through /dev/mapper → dm-0

  EXPECT_EQ(mounts[4].mountPoint, "/net/share");
  EXPECT_EQ(mounts[4].label, "nas:/export/share");
  EXPECT_TRUE(mounts[4].network);
  EXPECT_TRUE(mounts[5].network);
  EXPECT_EQ(mounts[5].fsType, "fuse.sshfs");
}

TEST(Mounts, RemovableAndOpticalDevicesAreSkippedWhateverTheirFileSystem) {
  TempDir root;
  MakeBlockDevices(root.Path());
  Put(root.Path(), "proc/self/mountinfo",
      "35 26 8:17 / /media/u/STICK rw - ext4 /dev/sdb1 rw\n"
      "36 26 11:0 / /media/u/DVD ro - ext2 /dev/sr0 ro\n"
      "37 26 8:3 / /data rw - ext4 /dev/sda3 rw\n");
  const std::vector<tMount> mounts = ReadMounts(root.Path());
  ASSERT_EQ(mounts.size(), 1u);
  EXPECT_EQ(mounts[0].mountPoint, "/data");

  // A disk that is no longer in /sys (unplugged while mounted) is not taken for removable.
  Put(root.Path(), "proc/self/mountinfo", "40 26 8:33 / /gone rw - ext4 /dev/sdc1 rw\n");
  ASSERT_EQ(ReadMounts(root.Path()).size(), 1u);
}

TEST(Mounts, MissingOrEmptyMountTableGivesNoMounts) {
  TempDir root;
  EXPECT_TRUE(ReadMounts(root.Path()).empty());
  Put(root.Path(), "proc/self/mountinfo", "");
  EXPECT_TRUE(ReadMounts(root.Path()).empty());
}

TEST(FreeSpace, ReportsTheFileSystemOfAFolder) {
  TempDir dir;
  const auto space = FreeSpace(dir.Path(), 5000);
  ASSERT_TRUE(space.has_value());
  EXPECT_GT(space->totalBytes, 0u);
  EXPECT_LE(space->freeBytes, space->totalBytes);
  EXPECT_FALSE(FreeSpace(dir.File("no/such/folder"), 5000).has_value());
}

TEST(FreeSpace, AnAbandonedQueryDoesNotBlockLaterOnes) {
  TempDir dir;
  // With no time to wait the answer may be abandoned and the path marked as hanging; once the
  // worker returns, the mark must go so the path is asked again.
  FreeSpace(dir.Path(), 0);
  std::optional<tDiskSpace> space;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!space && std::chrono::steady_clock::now() < deadline) {
    space = FreeSpace(dir.Path(), 1000);
    if (!space) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(space.has_value());
}

}  // namespace
}  // namespace kv
