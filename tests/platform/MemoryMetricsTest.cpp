#include "platform/MemoryMetrics.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include "platform/FakeTree.h"

namespace kv {
namespace {

using kvtest::Put;
using kvtest::TempDir;

TEST(MemInfo, ReadsFiguresInKiB) {
  TempDir root;
  Put(root.Path(), "proc/meminfo",
      "MemTotal:       16314368 kB\n"
      "MemFree:         1022336 kB\n"
      "MemAvailable:    9871234 kB\n"
      "Buffers:          412000 kB\n"
      "Cached:          7000000 kB\n"
      "SwapCached:        10000 kB\n"
      "SwapTotal:       2097148 kB\n"
      "SwapFree:        2000000 kB\n"
      "CommitLimit:    10254332 kB\n"
      "Committed_AS:   12345678 kB\n"
      "HugePages_Total:       0\n");
  const tMemInfo info = ReadMemInfo(root.Path());
  EXPECT_EQ(info.total, 16314368u);
  EXPECT_EQ(info.available, 9871234u);
  EXPECT_FALSE(info.availableEstimated);
  EXPECT_EQ(info.cache, 7412000u);  // SwapCached is not file data
  EXPECT_EQ(info.swapTotal, 2097148u);
  EXPECT_EQ(info.swapFree, 2000000u);
  EXPECT_EQ(info.commitLimit, 10254332u);
  EXPECT_EQ(info.committed, 12345678u);  // over the limit with the default overcommit mode
}

TEST(MemInfo, OldKernelWithoutMemAvailableSumsFreeBuffersAndCache) {
  TempDir root;
  Put(root.Path(), "proc/meminfo",
      "MemTotal: 4000000 kB\nMemFree: 1000000 kB\nBuffers: 100000 kB\nCached: 900000 kB\n");
  const tMemInfo info = ReadMemInfo(root.Path());
  EXPECT_EQ(info.available, 2000000u);
  EXPECT_TRUE(info.availableEstimated);
  EXPECT_EQ(info.swapTotal, 0u);
  EXPECT_EQ(info.committed, 0u);
}

TEST(MemInfo, DamagedFieldsGiveNoFigure) {
  TempDir root;
  Put(root.Path(), "proc/meminfo",
      "MemTotal: 8000000 kB\n"
      "MemAvailable: lots kB\n"
      "MemFree: 3000000 kB\n"
      "Cached: 500000 MB\n"      // not the unit this file uses: ignored
      "Committed_AS: 12a kB\n"
      "SwapTotal");              // cut off
  const tMemInfo info = ReadMemInfo(root.Path());
  EXPECT_EQ(info.total, 8000000u);
  EXPECT_EQ(info.available, 3000000u);
  EXPECT_TRUE(info.availableEstimated);
  EXPECT_EQ(info.cache, 0u);
  EXPECT_EQ(info.committed, 0u);
  EXPECT_EQ(info.swapTotal, 0u);

  Put(root.Path(), "proc/meminfo", "MemTotal: 100 kB\nMemAvailable: 250 kB\n");
  EXPECT_EQ(ReadMemInfo(root.Path()).available, 100u);  // never more than there is

  Put(root.Path(), "proc/meminfo", "MemFree: 3000000 kB\n");
  EXPECT_EQ(ReadMemInfo(root.Path()).total, 0u);
  TempDir empty;
  EXPECT_EQ(ReadMemInfo(empty.Path()).total, 0u);
}

TEST(Uptime, FirstFieldInWholeSeconds) {
  TempDir root;
  Put(root.Path(), "proc/uptime", "350735.47 234388.90\n");
  EXPECT_EQ(ReadUptimeSeconds(root.Path()), 350735u);
  Put(root.Path(), "proc/uptime", "77\n");
  EXPECT_EQ(ReadUptimeSeconds(root.Path()), 77u);
  Put(root.Path(), "proc/uptime", "12x.5 1.0\n");
  EXPECT_FALSE(ReadUptimeSeconds(root.Path()).has_value());
  Put(root.Path(), "proc/uptime", "");
  EXPECT_FALSE(ReadUptimeSeconds(root.Path()).has_value());
  TempDir empty;
  EXPECT_FALSE(ReadUptimeSeconds(empty.Path()).has_value());
}

// A FIFO where a /proc file should be (a fake or tampered tree) is no file: the read answers
// at once instead of waiting for a writer.
TEST(Uptime, FifoInPlaceOfTheFileDoesNotHang) {
  TempDir root;
  kvtest::MakeFolder(root.Path(), "proc");
  const std::string fifo = root.Path() + "proc/uptime";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  auto read = std::async(std::launch::async, [&] { return ReadUptimeSeconds(root.Path()); });
  if (read.wait_for(std::chrono::seconds(3)) != std::future_status::ready) {
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);  // frees the stuck open
    if (writer >= 0) ::close(writer);  // closed at once: the stuck read then sees the end
    read.wait();
    FAIL() << "the read hung on a FIFO";
  }
  EXPECT_FALSE(read.get().has_value());
}

}  // namespace
}  // namespace kv
