// A program of its own: Qt's bus thread lives on to the end of the process, and the death
// tests of the other readers' program fork.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QThread>
#include <chrono>
#include <memory>
#include <thread>

#include "readvalue/DriveTemps.h"
#include "readvalue/SystemTree.h"
#include "support/PrivateBus.h"

namespace {

using namespace kv;

using tInterfaces = QMap<QString, QVariantMap>;
using tObjects = QMap<QDBusObjectPath, tInterfaces>;

const QString Drives = QStringLiteral("/org/freedesktop/UDisks2/drives/");
const QString Blocks = QStringLiteral("/org/freedesktop/UDisks2/block_devices/");
const char* const Wdc = "udisks2 WDC WD40EFRX-68N32N0 WD-WCC7K0000001";

// udisks2 as far as the monitor asks it: the object manager's list of drives and block devices.
class StandInUDisks : public QDBusVirtualObject {
 public:
  QString introspect(const QString&) const override { return {}; }
  bool handleMessage(const QDBusMessage& m, const QDBusConnection& c) override {
    if (m.member() != QLatin1String("GetManagedObjects")) return false;
    QMutexLocker lock(&mutex_);
    ++calls_;
    return c.send(m.createReply(QVariant::fromValue(objects_)));
  }
  void Set(const tObjects& objects) {
    QMutexLocker lock(&mutex_);
    objects_ = objects;
  }
  int Calls() {
    QMutexLocker lock(&mutex_);
    return calls_;
  }

 private:
  QMutex mutex_;
  tObjects objects_;
  int calls_ = 0;
};

QVariantMap Ata(qulonglong updated, double kelvin) {
  return {{"SmartUpdated", QVariant::fromValue(updated)}, {"SmartTemperature", kelvin}};
}
QVariantMap Drive(const char* model, const char* serial) { return {{"Model", model}, {"Serial", serial}}; }
QVariantMap Block(const QString& drive, const char* device) {
  return {{"Drive", QVariant::fromValue(QDBusObjectPath(Drives + drive))}, {"Device", QByteArray(device, static_cast<int>(qstrlen(device)) + 1)}};
}

// A SATA drive at kelvin; one that drivetemp already shows; one whose SMART was never read; an
// NVMe drive (no ATA interface); and the block devices, one a partition.
tObjects Machine(double kelvin) {
  tObjects o;
  o[QDBusObjectPath(Drives + "WDC")] = {{"org.freedesktop.UDisks2.Drive", Drive("WDC WD40EFRX-68N32N0", "WD-WCC7K0000001")},
                                        {"org.freedesktop.UDisks2.Drive.Ata", Ata(1765400000, kelvin)}};
  o[QDBusObjectPath(Drives + "Samsung")] = {{"org.freedesktop.UDisks2.Drive", Drive("Samsung SSD 870", "S6PN")},
                                            {"org.freedesktop.UDisks2.Drive.Ata", Ata(1765400000, 318.15)}};
  o[QDBusObjectPath(Drives + "Sleepy")] = {{"org.freedesktop.UDisks2.Drive", Drive("ST2000DM008", "ZFL1")},
                                           {"org.freedesktop.UDisks2.Drive.Ata", Ata(0, 0)}};
  o[QDBusObjectPath(Drives + "Nvme")] = {{"org.freedesktop.UDisks2.Drive", Drive("Samsung SSD 980", "S64D")},
                                         {"org.freedesktop.UDisks2.NVMe.Controller", {}}};
  o[QDBusObjectPath(Blocks + "sda")] = {{"org.freedesktop.UDisks2.Block", Block("WDC", "/dev/sda")}};
  o[QDBusObjectPath(Blocks + "sda1")] = {{"org.freedesktop.UDisks2.Block", Block("WDC", "/dev/sda1")},
                                         {"org.freedesktop.UDisks2.Partition", {}}};
  o[QDBusObjectPath(Blocks + "sdb")] = {{"org.freedesktop.UDisks2.Block", Block("Samsung", "/dev/sdb")}};
  return o;
}

// The monitor finds the bus where every program finds the system bus: a private one here.
class DriveTempsTest : public kvtest::SystemTreeTest {
 protected:
  static void SetUpTestSuite() {
    qDBusRegisterMetaType<tInterfaces>();
    qDBusRegisterMetaType<tObjects>();
    bus_ = std::make_unique<kvtest::PrivateBus>();
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus_->Address().toUtf8());
  }
  static void TearDownTestSuite() { bus_.reset(); }

  void SetUp() override {
    SystemTreeTest::SetUp();
    SetDefaultChannelNames(Settings);
    Put("sys/block/sdb/device/hwmon/hwmon4/name", "drivetemp\n");
    service_.Set(Machine(310.15));
    // It answers from a thread of its own, as the daemon would from its process, while the
    // test's thread is busy with the passes.
    service_.moveToThread(&thread_);
    thread_.start();
    host_ = bus_->Connect(QString("udisks-stand-in-%1").arg(++connections_));
    ASSERT_TRUE(host_.registerVirtualObject("/org/freedesktop/UDisks2", &service_));
  }
  void TearDown() override {
    CloseDriveTemps(Ctx);
    host_.unregisterService("org.freedesktop.UDisks2");
    host_.unregisterObject("/org/freedesktop/UDisks2");
    thread_.quit();
    thread_.wait();
    SystemTreeTest::TearDown();
  }
  void Own() { ASSERT_TRUE(host_.registerService("org.freedesktop.UDisks2")); }

  // One pass of the step (the hwmon sensors before it, as in the pass) as pass number count.
  void Pass(int count) {
    Current.PassCount = count;
    Ctx.Now += 1.0 / SecondsPerDay;
    StoreHwmonSensors(Ctx, {{"coretemp-isa-0000", "Package id 0", tHwmonKind::Temperature, 50},
                            {"coretemp-isa-0000", "Core 0", tHwmonKind::Temperature, 48}});
    ReadDriveTemps(Ctx);
  }
  // Passes that start no look at the bus, until done or 10 s.
  template <class F>
  bool PassUntil(F done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (Pass(1); !done(); Pass(1)) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }
  size_t Said(const std::string& text) {
    const std::string log = Log();
    size_t n = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  }

  QThread thread_;
  StandInUDisks service_;
  QDBusConnection host_{QString()};
  static inline std::unique_ptr<kvtest::PrivateBus> bus_;
  static inline int connections_ = 0;
};

TEST_F(DriveTempsTest, ASataDriveJoinsAfterHwmonAndIsAskedAgainOnlyOnSlowPasses) {
  Own();
  Pass(0);
  ASSERT_TRUE(PassUntil([&] { return Readings.T[2] != NoValue16; }));
  EXPECT_EQ(Readings.T[2], 3700);
  EXPECT_EQ(Settings.TCfg[2].Name, Wdc);
  EXPECT_EQ(Readings.T[3], NoValue16);  // the drivetemp, unread and NVMe drives are not here
  ASSERT_EQ(Current.Drives.size(), 1u);
  EXPECT_EQ(Current.Drives[0].Label, "WDC WD40EFRX-68N32N0 WD-WCC7K0000001");

  service_.Set(Machine(313.15));
  for (int count = 1; count < 10; ++count) Pass(count);
  EXPECT_EQ(service_.Calls(), 1);
  EXPECT_EQ(Readings.T[2], 3700);
  Pass(10);
  ASSERT_TRUE(PassUntil([&] { return Readings.T[2] == 4000; }));
  EXPECT_EQ(service_.Calls(), 2);

  // The hwmon order map places it like any sensor.
  Settings.HwmonOrderT[ChannelIndex(7)] = Wdc;
  Readings.T[6] = NoValue16;
  Pass(11);
  EXPECT_EQ(Readings.T[6], 4000);
  EXPECT_EQ(Said("rv ud"), 0u) << Log();
}

TEST_F(DriveTempsTest, WithoutTheDaemonTheStepSaysSoOnceAndAsksAgainOnlyAfterAReload) {
  Pass(0);
  ASSERT_TRUE(PassUntil([&] { return Said("rv ud 1 ") > 0; })) << Log();
  EXPECT_NE(Log().find("udisks2 is not running"), std::string::npos) << Log();
  Own();
  for (int count = 0; count < 30; ++count) Pass(count);
  EXPECT_EQ(service_.Calls(), 0);
  EXPECT_EQ(Readings.T[2], NoValue16);
  EXPECT_EQ(Said("rv ud 1 "), 1u);

  ReopenDriveTemps(Ctx);
  Pass(0);
  ASSERT_TRUE(PassUntil([&] { return Readings.T[2] == 3700; }));
}

}  // namespace
