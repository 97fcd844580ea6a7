// A private session bus and a small notification server on it: what the alerts send arrives.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include "AlertFixture.h"
#include "alerts/DesktopNotification.h"
#include "support/PrivateBus.h"

namespace kvtest {

class FakeNotificationServer : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
 public:
  struct tReceived {
    QString app;
    uint replaces;
    QString summary;
    QString body;
  };
  std::vector<tReceived> received;

 public slots:
  uint Notify(const QString& app, uint replaces, const QString& /*icon*/, const QString& summary,
              const QString& body, const QStringList& /*actions*/, const QVariantMap& /*hints*/,
              int /*timeout*/) {
    received.push_back({app, replaces, summary, body});
    return 40 + static_cast<uint>(received.size());
  }
};

}  // namespace kvtest

namespace {

using namespace kv;
using namespace std::chrono_literals;
using kvtest::AlertTest;

class NotificationTest : public AlertTest {
 protected:
  void SetUp() override {
    AlertTest::SetUp();
    bus_ = std::make_unique<kvtest::PrivateBus>();
    ASSERT_FALSE(bus_->Address().isEmpty());
  }
  void TearDown() override {
    actions.reset();
    bus_.reset();
    AlertTest::TearDown();
  }
  QDBusConnection Bus(const char* name) { return bus_->Connect(name); }

  std::unique_ptr<kvtest::PrivateBus> bus_;
};

TEST_F(NotificationTest, StartAndEndArriveWithSummaryBodyAndTheReplacedId) {
  QDBusConnection server = Bus("kv-server");
  ASSERT_TRUE(server.isConnected()) << bus_->Address().toStdString();
  kvtest::FakeNotificationServer fake;
  ASSERT_TRUE(server.registerObject("/org/freedesktop/Notifications", &fake, QDBusConnection::ExportAllSlots));
  ASSERT_TRUE(server.registerService("org.freedesktop.Notifications"));
  QDBusConnection client = Bus("kv-client");
  ASSERT_TRUE(client.isConnected());
  Act(std::make_unique<tDesktopNotifier>(client));
  Settings.AlertPasses = 1;
  Settings.TCfg[0].Name = "CPU";
  Settings.TCfg[0].AlertHigh = 8000;
  PassT1(8100);
  ASSERT_TRUE(kvtest::SpinUntil([&] { return fake.received.size() == 1; }, 5s));
  EXPECT_EQ(fake.received[0].app.toStdString(), "Kelvara");
  EXPECT_EQ(fake.received[0].summary.toStdString(), "CPU above 80 °C");
  EXPECT_EQ(fake.received[0].body.toStdString(), "now 81 °C");
  EXPECT_EQ(fake.received[0].replaces, 0u);
  // The end takes the place of the start's notification once the server has named it.
  kvtest::SpinUntil([] { return false; }, 100ms);
  PassT1(7000);
  ASSERT_TRUE(kvtest::SpinUntil([&] { return fake.received.size() == 2; }, 5s));
  EXPECT_EQ(fake.received[1].summary.toStdString(), "CPU back to normal");
  EXPECT_EQ(fake.received[1].body.toStdString(), "now 70 °C, limit 80 °C");
  EXPECT_EQ(fake.received[1].replaces, 41u);

  // Switched off: nothing is sent.
  Settings.AlertNotify = false;
  PassT1(8100);
  kvtest::SpinUntil([] { return false; }, 200ms);
  EXPECT_EQ(fake.received.size(), 2u);
}

TEST_F(NotificationTest, NoServerOrNoBusShowsNothingAndReportsNothing) {
  QDBusConnection client = Bus("kv-client");
  ASSERT_TRUE(client.isConnected());
  tDesktopNotifier onEmptyBus(client);
  onEmptyBus.Notify("highT1", "CPU above 80 °C", "now 81 °C");
  tDesktopNotifier noBus(QDBusConnection("kv-no-such-connection"));
  noBus.Notify("highT1", "CPU above 80 °C", "now 81 °C");
  kvtest::SpinUntil([] { return false; }, 200ms);  // the error reply comes and goes
  EXPECT_EQ(Log().find("al4 "), std::string::npos);
}

}  // namespace

#include "NotificationTest.moc"
