#pragma once
// A private session bus for one test: its own dbus-daemon, gone with the test, so nothing on the
// user's desktop bus sees the test and nothing there disturbs it.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

namespace kvtest {

class PrivateBus {
 public:
  // Started at once; a missing or failing dbus-daemon fails the test and leaves Address() empty.
  PrivateBus() {
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty()) {
      ADD_FAILURE() << "dbus-daemon is missing (scripts/install-deps installs it)";
      return;
    }
    daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
    if (daemon_.waitForStarted(5000) && (daemon_.canReadLine() || daemon_.waitForReadyRead(5000)))
      address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    if (address_.isEmpty()) ADD_FAILURE() << "dbus-daemon did not start: " << daemon_.readAllStandardError().toStdString();
  }
  ~PrivateBus() {
    for (const QString& name : names_) QDBusConnection::disconnectFromBus(name);
    if (daemon_.state() == QProcess::NotRunning) return;
    daemon_.kill();
    daemon_.waitForFinished(5000);
  }
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;

  const QString& Address() const { return address_; }
  // A connection of its own under this name, closed with the bus.
  QDBusConnection Connect(const QString& name) {
    names_ << name;
    return QDBusConnection::connectToBus(address_, name);
  }

 private:
  QProcess daemon_;
  QString address_;
  QStringList names_;
};

}  // namespace kvtest
