#include "alerts/DesktopNotification.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

#include "core/Process.h"

namespace kv {

namespace {

const char* const Service = "org.freedesktop.Notifications";
const char* const Path = "/org/freedesktop/Notifications";
const char* const Interface = "org.freedesktop.Notifications";
constexpr int ExpireDefault = -1;  // the server's own time

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

tDesktopNotifier::tDesktopNotifier() : ids_(std::make_shared<std::map<std::string, uint>>()) {}

tDesktopNotifier::tDesktopNotifier(const QDBusConnection& bus)
    : bus_(std::make_unique<QDBusConnection>(bus)), ids_(std::make_shared<std::map<std::string, uint>>()) {}

void tDesktopNotifier::Notify(const std::string& key, const std::string& summary, const std::string& body) {
  if (!bus_) bus_ = std::make_unique<QDBusConnection>(QDBusConnection::sessionBus());
  if (!bus_->isConnected()) return;
  QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, "Notify");
  const auto known = ids_->find(key);
  const uint replaces = known == ids_->end() ? 0 : known->second;
  call << Q(ProductName) << replaces << QString("dialog-warning") << Q(summary) << Q(body)
       << QStringList() << QVariantMap() << ExpireDefault;
  // Asynchronous: a slow or absent server never holds up the main thread. Without a server the
  // bus answers with an error, which is dropped.
  auto* watcher = new QDBusPendingCallWatcher(bus_->asyncCall(call));
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished,
                   [ids = ids_, key](QDBusPendingCallWatcher* w) {
                     const QDBusPendingReply<uint> reply = *w;
                     if (reply.isValid()) (*ids)[key] = reply.value();
                     w->deleteLater();
                   });
}

}  // namespace kv
