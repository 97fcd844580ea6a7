#include "platform/NetMetrics.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/FakeTree.h"

namespace kv {
namespace {

using kvtest::Put;
using kvtest::TempDir;

const char kNetDevHeader[] =
    "Inter-|   Receive                                                |  Transmit\n"
    " face |bytes    packets errs drop fifo frame compressed multicast|bytes    packets errs "
    "drop fifo colls carrier compressed\n";

// One line of /proc/net/dev: receive bytes first, transmit bytes ninth.
std::string NetDevLine(const std::string& name, const std::string& rx, const std::string& tx) {
  return "  " + name + ": " + rx + " 11 0 0 0 0 0 0 " + tx + " 22 0 0 0 0 0 0\n";
}

void MakeInterface(const std::string& root, const std::string& name, int index,
                   const std::string& address) {
  const std::string base = "sys/class/net/" + name + "/";
  Put(root, base + "ifindex", std::to_string(index) + "\n");
  Put(root, base + "address", address + "\n");
  Put(root, base + "type", name == "lo" ? "772\n" : "1\n");
  Put(root, base + "operstate", name == "lo" ? "unknown\n" : "up\n");
}

TEST(NetInterfaces, SortedByIndexWithMacTextAnd64BitCounters) {
  TempDir root;
  MakeInterface(root.Path(), "wlp2s0", 3, "aa:bb:0c:dd:ee:ff");
  MakeInterface(root.Path(), "lo", 1, "00:00:00:00:00:00");
  MakeInterface(root.Path(), "enp3s0", 2, "00:1a:2B:3c:4d:5e");
  MakeInterface(root.Path(), "wg0", 10, "");  // no hardware address
  Put(root.Path(), "sys/class/net/enp3s0/carrier_changes", "4\n");
  Put(root.Path(), "proc/net/dev",
      kNetDevHeader + NetDevLine("wlp2s0", "5", "6") + NetDevLine("lo", "1000", "1000") +
          "enp3s0:18446744073709551615 11 0 0 0 0 0 0 4294967296 22 0 0 0 0 0 0\n" +
          NetDevLine("wg0", "7", "8"));

  const std::vector<tNetInterface> list = ReadNetInterfaces(root.Path());
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0].name, "lo");
  EXPECT_EQ(list[0].type, kArpTypeLoopback);
  EXPECT_EQ(list[0].mac, "00-00-00-00-00-00");
  EXPECT_EQ(list[0].operState, "unknown");
  EXPECT_FALSE(list[0].carrierChanges.has_value());

  EXPECT_EQ(list[1].name, "enp3s0");
  EXPECT_EQ(list[1].index, 2);
  EXPECT_EQ(list[1].mac, "00-1A-2B-3C-4D-5E");
  EXPECT_EQ(list[1].rxBytes, UINT64_MAX);
  EXPECT_EQ(list[1].txBytes, 4294967296u);
  EXPECT_EQ(list[1].carrierChanges, 4u);
  EXPECT_EQ(list[1].type, 1);
  EXPECT_EQ(list[1].operState, "up");
  EXPECT_EQ(list[1].ipText, kNoIpText);  // addresses come from AttachIpv4Addresses only

  EXPECT_EQ(list[2].name, "wlp2s0");
  EXPECT_EQ(list[2].mac, "AA-BB-0C-DD-EE-FF");
  EXPECT_EQ(list[3].name, "wg0");
  EXPECT_EQ(list[3].mac, kNoMacText);
}

TEST(NetInterfaces, InterfaceVanishingBetweenOrDuringReadsIsLeftOut) {
  TempDir root;
  MakeInterface(root.Path(), "eth0", 2, "02:00:00:00:00:01");
  MakeInterface(root.Path(), "usb0", 5, "02:00:00:00:00:02");
  Put(root.Path(), "proc/net/dev",
      kNetDevHeader + NetDevLine("eth0", "100", "200") + NetDevLine("usb0", "300", "400"));
  ASSERT_EQ(ReadNetInterfaces(root.Path()).size(), 2u);

  // Unplugged between /proc/net/dev and /sys, then gone from both by the next pass.
  kvtest::Remove(root.Path(), "sys/class/net/usb0");
  std::vector<tNetInterface> list = ReadNetInterfaces(root.Path());
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name, "eth0");
  EXPECT_EQ(list[0].rxBytes, 100u);
  EXPECT_EQ(list[0].txBytes, 200u);
  Put(root.Path(), "proc/net/dev", kNetDevHeader + NetDevLine("eth0", "150", "250"));
  list = ReadNetInterfaces(root.Path());
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].rxBytes, 150u);

  // Damaged or cut-off counter lines are left out, the rest still read.
  Put(root.Path(), "proc/net/dev",
      kNetDevHeader + NetDevLine("eth0", "12x", "1") + "  usb0: 1 2 3\n" + "lo 1 2 3\n");
  EXPECT_TRUE(ReadNetInterfaces(root.Path()).empty());
  MakeInterface(root.Path(), "usb0", 5, "02:00:00:00:00:02");
  Put(root.Path(), "proc/net/dev", kNetDevHeader + NetDevLine("eth0", "12x", "1") +
                                       NetDevLine("usb0", "9", "9"));
  list = ReadNetInterfaces(root.Path());
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name, "usb0");

  TempDir empty;
  EXPECT_TRUE(ReadNetInterfaces(empty.Path()).empty());
}

TEST(NetInterfaces, MacTextForms) {
  const uint8_t six[] = {0x00, 0x1a, 0xff, 0x01, 0x80, 0x7f};
  EXPECT_EQ(MacText(six, 6), "00-1A-FF-01-80-7F");
  EXPECT_EQ(MacText(six, 0), kNoMacText);
  const uint8_t twenty[20] = {0x80, 0, 0x02, 0x08, 0xfe, 0x80, 0, 0, 0x11};
  EXPECT_EQ(MacText(twenty, 20), "80-00-02-08-FE-80-00-00");  // at most 8 bytes

  EXPECT_EQ(MacTextFromSys("80:00:02:08:fe:80:00:00:00:00:00:00:00:11:75:01:01:6e:3a:a1\n"),
            "80-00-02-08-FE-80-00-00");
  EXPECT_EQ(MacTextFromSys("ab:cd"), "AB-CD");
  EXPECT_EQ(MacTextFromSys(""), kNoMacText);
  EXPECT_EQ(MacTextFromSys("aa:bb:"), kNoMacText);
  EXPECT_EQ(MacTextFromSys("aa:b:cc"), kNoMacText);
  EXPECT_EQ(MacTextFromSys("zz:00:00:00:00:00"), kNoMacText);
  EXPECT_EQ(MacTextFromSys("aa:bb:c"), kNoMacText);
}

TEST(NetInterfaces, IpTextRightAlignsEachOctet) {
  EXPECT_EQ(IpText({192, 168, 1, 10}), "192.168.  1. 10");
  EXPECT_EQ(IpText({0, 0, 0, 0}), "  0.  0.  0.  0");
  EXPECT_EQ(IpText({255, 255, 255, 255}), "255.255.255.255");
}

TEST(NetInterfaces, Ipv4AddressesOfTheRealSystem) {
  std::vector<tNetInterface> list = ReadNetInterfaces("/");
  const auto lo = std::find_if(list.begin(), list.end(),
                               [](const tNetInterface& n) { return n.name == "lo"; });
  ASSERT_NE(lo, list.end());
  const int loIndex = lo->index;
  tNetInterface unknown;
  unknown.name = "kv-no-such-if";
  unknown.index = 1 << 30;
  list.push_back(unknown);
  AttachIpv4Addresses(list);
  for (const tNetInterface& netIf : list) {
    if (netIf.index == loIndex) {
      EXPECT_EQ(netIf.ipText, "127.  0.  0.  1");
    }
  }
  EXPECT_EQ(list.back().ipText, "  0.  0.  0.  0");  // like an unconnected adapter: never bound
}

TEST(NetInterfaces, KernelTableAgreesWithTheFiles) {
  const std::vector<tNetInterface> files = ReadNetInterfaces("/");
  const auto kernel = ReadNetInterfacesFromKernel();
  ASSERT_TRUE(kernel.has_value());
  ASSERT_EQ(kernel->size(), files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    const tNetInterface& f = files[i];
    const tNetInterface& k = (*kernel)[i];
    EXPECT_EQ(k.name, f.name);
    EXPECT_EQ(k.index, f.index);
    EXPECT_EQ(k.mac, f.mac) << f.name;
    EXPECT_EQ(k.type, f.type) << f.name;
    EXPECT_EQ(k.operState, f.operState) << f.name;
    EXPECT_EQ(k.carrierChanges.has_value(), f.carrierChanges.has_value()) << f.name;
    EXPECT_GE(k.rxBytes, f.rxBytes) << f.name;  // read later: counters only grow
    EXPECT_GE(k.txBytes, f.txBytes) << f.name;
  }
}

}  // namespace
}  // namespace kv
