#include <gtest/gtest.h>

#include "readvalue/SystemSources.h"
#include "readvalue/SystemTree.h"

namespace {

using namespace kv;

const char NetDevHeader[] =
    "Inter-|   Receive                                                |  Transmit\n"
    " face |bytes    packets errs drop fifo frame compressed multicast|bytes    packets errs "
    "drop fifo colls carrier compressed\n";

struct tFakeIf {
  std::string name;
  int index;
  std::string address;
  uint64_t rx, tx;
  int carrierChanges;  // -1: the kernel does not say
};

class NetworkSourceTest : public kvtest::SystemTreeTest {
 protected:
  // Writes /proc/net/dev and /sys/class/net for these interfaces, dropping any earlier ones.
  void Interfaces(const std::vector<tFakeIf>& list) {
    kvtest::Remove(Root(), "sys/class/net");
    std::string dev = NetDevHeader;
    for (const tFakeIf& i : list) {
      const std::string base = "sys/class/net/" + i.name + "/";
      Put(base + "ifindex", std::to_string(i.index) + "\n");
      Put(base + "address", i.address + "\n");
      Put(base + "type", i.name == "lo" ? "772\n" : "1\n");
      if (i.carrierChanges >= 0) Put(base + "carrier_changes", std::to_string(i.carrierChanges) + "\n");
      dev += "  " + i.name + ": " + std::to_string(i.rx) + " 1 0 0 0 0 0 0 " + std::to_string(i.tx) +
             " 2 0 0 0 0 0 0\n";
    }
    Put("proc/net/dev", dev);
  }
  // One pass of the network step, counting passes as the acquisition does.
  void Pass() {
    metrics::ReadNetwork(Ctx);
    ++PassCount;
  }
};

TEST_F(NetworkSourceTest, CounterWrapAt4GiBAddsTheBytesUpToTheWrapPlusTheNewCount) {
  // The kernel's 64-bit counter feeds its low 32 bits: 8 588 967 296 reads as 4 294 000 000.
  Interfaces({{"eth0", 2, "00:11:22:33:44:55", 4294967296ull + 4294000000ull, 4294000000ull, 3}});
  Pass();
  ASSERT_EQ(Settings.NetSlots[0].Mac, "00-11-22-33-44-55");
  EXPECT_EQ(Readings.NetIn[0], 4193359);
  EXPECT_EQ(Readings.NetOut[0], 4193359);

  Interfaces({{"eth0", 2, "00:11:22:33:44:55", 2 * 4294967296ull + 1000000, 1000000, 3}});
  Pass();
  EXPECT_EQ(Readings.NetIn[0], 4193359 + 1921);
  EXPECT_EQ(Readings.NetOut[0], 4193359 + 1921);

  // Ordinary growth after the wrap follows the interface's counter.
  Interfaces({{"eth0", 2, "00:11:22:33:44:55", 2 * 4294967296ull + 3048000, 1000000, 3}});
  Pass();
  EXPECT_EQ(Readings.NetIn[0], 4193359 + 1921 + 2000);
  EXPECT_EQ(Readings.NetOut[0], 4193359 + 1921);
}

TEST_F(NetworkSourceTest, WithoutAStampACounterThatFellBackIsNotAdded) {
  Interfaces({{"eth0", 2, "00:11:22:33:44:55", 4294000000ull, 0, -1}});
  Pass();
  Interfaces({{"eth0", 2, "00:11:22:33:44:55", 1000000, 0, -1}});
  Pass();
  EXPECT_EQ(Readings.NetIn[0], 4193359);
  EXPECT_EQ(NetMons[0].LastChange, 0u);
}

TEST_F(NetworkSourceTest, AReconnectRestartsTheSlotFromTheInterfaceCounter) {
  Interfaces({{"eth0", 2, "00:11:22:33:44:55", 4294000000ull, 0, 3}});
  Pass();
  Interfaces({{"eth0", 2, "00:11:22:33:44:55", 1000000, 0, 3}});
  Pass();
  ASSERT_EQ(Readings.NetIn[0], 4195280);
  Interfaces({{"eth0", 2, "00:11:22:33:44:55", 204800, 0, 4}});
  Pass();
  EXPECT_EQ(Readings.NetIn[0], 200);
  EXPECT_EQ(NetMons[0].LastChange, 5u);
}

TEST_F(NetworkSourceTest, AnInterfaceThatVanishesDoesNotRestartTheOnesAfterIt) {
  const tFakeIf a{"eth0", 2, "00:00:00:00:00:0a", 0, 0, 1};
  const tFakeIf b{"eth1", 3, "00:00:00:00:00:0b", 0, 0, 5};
  Interfaces({a, b, {"eth2", 4, "00:00:00:00:00:0c", 4294000000ull, 0, 9}});
  Pass();
  ASSERT_EQ(Settings.NetSlots[2].Mac, "00-00-00-00-00-0C");
  Interfaces({a, b, {"eth2", 4, "00:00:00:00:00:0c", 1000000, 0, 9}});
  Pass();
  ASSERT_EQ(Readings.NetIn[2], 4195280);

  Interfaces({a, {"eth2", 4, "00:00:00:00:00:0c", 2000000, 0, 9}});
  Pass();
  EXPECT_EQ(Readings.NetIn[2], 4195280 + 977);
  ASSERT_EQ(NetMons.size(), 2u);
  EXPECT_EQ(NetMons[1].Description, "eth2");
}

TEST_F(NetworkSourceTest, DamagedOrMissingTablesLeaveTheSlotsAlone) {
  Interfaces({{"eth0", 2, "00:11:22:33:44:55", 2048, 1024, 1}});
  Pass();
  // Appended, not added: GCC 12 warns wrongly about operator+ on this temporary.
  std::string damaged = NetDevHeader;
  damaged += "  eth0: 12x 1 0 0 0 0 0 0 99 2 0 0 0 0 0 0\n  eth1: 5";
  Put("proc/net/dev", damaged);
  Pass();
  EXPECT_TRUE(NetMons.empty());
  EXPECT_EQ(Readings.NetIn[0], 2);
  kvtest::Remove(Root(), "proc");
  Pass();
  EXPECT_EQ(Readings.NetOut[0], 1);
}

// The slot rules on interface tables as the system reports them, addresses included.
class NetworkSlotTest : public NetworkSourceTest {
 protected:
  static tNetInterface If(const std::string& name, int index, const std::string& mac,
                          const std::string& ip, uint64_t rx = 0) {
    tNetInterface i;
    i.name = name;
    i.index = index;
    i.mac = mac;
    i.ipText = ip;
    i.rxBytes = rx;
    i.carrierChanges = 0;
    return i;
  }
  void Store(const std::vector<tNetInterface>& table) {
    metrics::StoreNetwork(Ctx, table);
    ++PassCount;
  }
};

TEST_F(NetworkSlotTest, LoopbackAndUnconnectedInterfacesNeverTakeAnEmptySlot) {
  Store({If("lo", 1, kNoMacText, "127.  0.  0.  1"), If("eth0", 2, "00-11-22-33-44-55", "  0.  0.  0.  0"),
         If("wlan0", 3, "AA-BB-CC-DD-EE-FF", "192.168.  1. 10", 10240)});
  EXPECT_EQ(Settings.NetSlots[0].Mac, "AA-BB-CC-DD-EE-FF");
  EXPECT_EQ(Settings.NetSlots[0].Name, "wlan0");
  EXPECT_EQ(Readings.NetIn[0], 10);
  for (int k = 1; k < NetSlotCount; ++k) EXPECT_EQ(Settings.NetSlots[k].Mac, "") << k;
  ASSERT_EQ(NetMons.size(), 3u);
  EXPECT_EQ(NetMons[2].Ip, "192.168.  1. 10");
  EXPECT_EQ(NetMons[0].Mac, "00-00-00-00-00-00");
}

TEST_F(NetworkSlotTest, UserSetSlotsKeepTheirNamesAndDefaultNamedOnesTakeTheDescription) {
  Settings.NetSlots[0].Mac = "00-11-22-33-44-55";
  Settings.NetSlots[0].Name = "Uplink";
  Settings.NetSlots[1].Mac = "AA-BB-CC-DD-EE-FF wlan0";  // MAC and description, as the options program saves
  Store({If("eth0", 2, "00-11-22-33-44-55", " 10.  0.  0.  2", 2048),
         If("wlan0", 3, "AA-BB-CC-DD-EE-FF", " 10.  0.  0.  3", 4096),
         If("eth1", 4, "00-11-22-33-44-66", " 10.  0.  0.  4", 1024)});
  EXPECT_EQ(Settings.NetSlots[0].Name, "Uplink");
  EXPECT_EQ(Settings.NetSlots[1].Name, "wlan0");
  EXPECT_EQ(Settings.NetSlots[2].Name, "eth1");
  EXPECT_EQ(Settings.NetSlots[2].Mac, "00-11-22-33-44-66");
  EXPECT_EQ(Readings.NetIn[0], 2);
  EXPECT_EQ(Readings.NetIn[1], 4);
  EXPECT_EQ(Readings.NetIn[2], 1);
  EXPECT_EQ(Readings.NetIn[3], NoValue32);
}

TEST_F(NetworkSlotTest, AnEmptyFirstSlotTakesAnInterfaceTheSecondSlotAlreadyHas) {
  Settings.NetSlots[1].Mac = "00-11-22-33-44-55";
  Store({If("eth0", 2, "00-11-22-33-44-55", " 10.  0.  0.  2", 3072)});
  EXPECT_EQ(Settings.NetSlots[0].Mac, "00-11-22-33-44-55");
  EXPECT_EQ(Readings.NetIn[0], 3);
  EXPECT_EQ(Readings.NetIn[1], 3);
}

}  // namespace
