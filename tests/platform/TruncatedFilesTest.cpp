// Every reader on every prefix of its file: a file cut off anywhere (a damaged copy, a reader
// racing a writer) must give a subset of the full figures, never a wrong figure or a crash. Under
// the sanitizer build this also catches reads past the end of a line.
#include <gtest/gtest.h>

#include "platform/CpuMetrics.h"
#include "platform/DiskMetrics.h"
#include "platform/MemoryMetrics.h"
#include "platform/NetMetrics.h"
#include "platform/FakeTree.h"

namespace kv {
namespace {

using kvtest::Put;
using kvtest::TempDir;

TEST(TruncatedFiles, EveryPrefixGivesASubsetOfTheFullFigures) {
  TempDir root;
  const std::string stat =
      "cpu  400 10 200 5000 100 5 7 3 0 0\ncpu0 100 5 100 2500 50 2 3 1 0 0\n"
      "cpu1 300 5 100 2500 50 3 4 2 0 0\nintr 1 2 3\n";
  const std::string meminfo =
      "MemTotal: 16000 kB\nMemFree: 1000 kB\nMemAvailable: 9000 kB\nCached: 700 kB\n";
  const std::string mountinfo =
      "26 1 8:2 / / rw shared:1 - ext4 /dev/sda2 rw\n"
      "29 26 8:3 / /mnt/a\\040b rw - ext4 /dev/sda3 rw\n"
      "37 26 0:50 / /net rw - nfs4 nas:/x rw\n";
  const std::string netdev =
      "Inter-| Receive | Transmit\n face |bytes packets|bytes packets\n"
      "  eth0: 1000 1 0 0 0 0 0 0 2000 2 0 0 0 0 0 0\n";
  Put(root.Path(), "sys/class/net/eth0/ifindex", "2\n");
  Put(root.Path(), "sys/class/net/eth0/address", "02:00:00:00:00:01\n");

  Put(root.Path(), "proc/stat", stat);
  const tCpuTimes fullStat = ReadCpuTimes(root.Path());
  ASSERT_EQ(fullStat.cpus.size(), 2u);
  for (size_t cut = 0; cut < stat.size(); ++cut) {
    Put(root.Path(), "proc/stat", stat.substr(0, cut));
    const tCpuTimes times = ReadCpuTimes(root.Path());
    ASSERT_LE(times.cpus.size(), 2u) << cut;
    for (size_t i = 0; i < times.cpus.size(); ++i) {
      EXPECT_EQ(times.cpus[i].id, fullStat.cpus[i].id) << cut;
      EXPECT_EQ(times.cpus[i].idle, fullStat.cpus[i].idle) << cut;
      EXPECT_EQ(times.cpus[i].total, fullStat.cpus[i].total) << cut;
    }
  }
  for (size_t cut = 0; cut < meminfo.size(); ++cut) {
    Put(root.Path(), "proc/meminfo", meminfo.substr(0, cut));
    const tMemInfo info = ReadMemInfo(root.Path());
    EXPECT_TRUE(info.total == 0 || info.total == 16000) << cut;
    EXPECT_TRUE(info.available == 0 || info.available == 1000 || info.available == 9000) << cut;
  }
  Put(root.Path(), "proc/self/mountinfo", mountinfo);
  const std::vector<tMount> fullMounts = ReadMounts(root.Path());
  ASSERT_EQ(fullMounts.size(), 3u);
  for (size_t cut = 0; cut < mountinfo.size(); ++cut) {
    Put(root.Path(), "proc/self/mountinfo", mountinfo.substr(0, cut));
    const std::vector<tMount> mounts = ReadMounts(root.Path());
    ASSERT_LE(mounts.size(), 3u) << cut;
    for (size_t i = 0; i < mounts.size(); ++i) {
      EXPECT_EQ(mounts[i].mountPoint, fullMounts[i].mountPoint) << cut;
      EXPECT_EQ(mounts[i].device, fullMounts[i].device) << cut;
    }
  }
  for (size_t cut = 0; cut <= netdev.size(); ++cut) {
    Put(root.Path(), "proc/net/dev", netdev.substr(0, cut));
    const std::vector<tNetInterface> list = ReadNetInterfaces(root.Path());
    ASSERT_EQ(list.size(), cut == netdev.size() ? 1u : 0u) << cut;
  }
  const std::vector<tNetInterface> list = ReadNetInterfaces(root.Path());
  EXPECT_EQ(list[0].rxBytes, 1000u);
  EXPECT_EQ(list[0].txBytes, 2000u);
}

}  // namespace
}  // namespace kv
