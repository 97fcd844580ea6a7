// A private session bus and a small notification server on it: what the alerts send arrives.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QObject>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QVariantMap>

#include "AlertFixture.h"
#include "alerts/DesktopNotification.h"

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
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty())
      FAIL() << "dbus-daemon is missing (scripts/install-deps installs it)";
    daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
    ASSERT_TRUE(daemon_.waitForStarted(5000));
    ASSERT_TRUE(kvtest::SpinUntil([this] { return daemon_.canReadLine(); }, 5s) ||
                daemon_.waitForReadyRead(5000));
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    ASSERT_FALSE(address_.isEmpty());
  }
  void TearDown() override {
    actions.reset();
    for (const QString& name : {QString("kv-server"), QString("kv-client")}) QDBusConnection::disconnectFromBus(name);
    if (daemon_.state() != QProcess::NotRunning) {
      daemon_.kill();
      daemon_.waitForFinished(5000);
    }
    AlertTest::TearDown();
  }
  QDBusConnection Bus(const char* name) { return QDBusConnection::connectToBus(address_, name); }

  QProcess daemon_;
  QString address_;
};

TEST_F(NotificationTest, StartAndEndArriveWithSummaryBodyAndTheReplacedId) {
  QDBusConnection server = Bus("kv-server");
  ASSERT_TRUE(server.isConnected()) << address_.toStdString();
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
