#include "system/Power.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QEventLoop>
#include <QTimer>

#include "core/EventLog.h"
#include "platform/IdleTime.h"

namespace kv {

namespace {

QDBusInterface& Logind() {
  static QDBusInterface iface(QStringLiteral("org.freedesktop.login1"),
                              QStringLiteral("/org/freedesktop/login1"),
                              QStringLiteral("org.freedesktop.login1.Manager"),
                              QDBusConnection::systemBus());
  return iface;
}

bool Can(const char* method) {
  if (!QDBusConnection::systemBus().isConnected() || !Logind().isValid()) return false;
  const QDBusReply<QString> reply = Logind().call(QString::fromLatin1(method));
  return reply.isValid() && (reply.value() == QLatin1String("yes") ||
                             reply.value() == QLatin1String("challenge"));
}

bool Act(const char* method) {
  if (!QDBusConnection::systemBus().isConnected() || !Logind().isValid()) return false;
  // Never forced: "interactive" false lets logind refuse instead of asking.
  const QDBusMessage reply = Logind().call(QString::fromLatin1(method), false);
  if (reply.type() == QDBusMessage::ErrorMessage) {
    LogEvent(std::string("pow1 ") + reply.errorMessage().toStdString());
    return false;
  }
  return true;
}

}  // namespace

tPowerCapabilities PowerCapabilities() {
  tPowerCapabilities caps;
  caps.hibernate = Can("CanHibernate");
  caps.suspend = Can("CanSuspend");
  return caps;
}

bool SuspendSystem(bool hibernate, bool /*force*/) { return Act(hibernate ? "Hibernate" : "Suspend"); }

bool ShutdownSystem() { return Act("PowerOff"); }

uint32_t IdleSeconds() { return ReadIdleSeconds().value_or(IdleUnknown); }

PowerEvents::PowerEvents(QObject* parent) : QObject(parent) {
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) return;
  connected_ = bus.connect(QStringLiteral("org.freedesktop.login1"),
                           QStringLiteral("/org/freedesktop/login1"),
                           QStringLiteral("org.freedesktop.login1.Manager"),
                           QStringLiteral("PrepareForSleep"), this, SLOT(OnPrepareForSleep(bool)));
}

void PowerEvents::OnPrepareForSleep(bool start) { emit Sleeping(start); }

tWakeWait WaitForWake(PowerEvents& events, int startMs, int wakeMs) {
  QEventLoop loop;
  QTimer limit;
  limit.setSingleShot(true);
  bool slept = false;
  tWakeWait result = tWakeWait::NoSleep;
  QObject::connect(&events, &PowerEvents::Sleeping, &loop, [&](bool goingToSleep) {
    if (goingToSleep) {
      slept = true;
      limit.start(wakeMs);
    } else {
      // A wake whose announcement was missed still ends the wait.
      result = tWakeWait::Woke;
      loop.quit();
    }
  });
  QObject::connect(&limit, &QTimer::timeout, &loop, [&] {
    result = slept ? tWakeWait::NoWake : tWakeWait::NoSleep;
    loop.quit();
  });
  limit.start(startMs);
  loop.exec();
  return result;
}

}  // namespace kv
