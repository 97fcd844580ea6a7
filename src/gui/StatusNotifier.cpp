#include "gui/StatusNotifier.h"

#include <unistd.h>

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QImage>
#include <QTimer>
#include <QtEndian>
#include <algorithm>

#include "core/EventLog.h"
#include "core/Process.h"
#include "core/ProgramInfo.h"

namespace kv {

namespace {

const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString WatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString ItemPath = QStringLiteral("/StatusNotifierItem");
constexpr int CallTimeoutMs = 2000;
constexpr int MaxAttempts = 5, RetryMs = 1000;

}  // namespace

QDBusArgument& operator<<(QDBusArgument& out, const tSniPixmap& pixmap) {
  out.beginStructure();
  out << pixmap.width << pixmap.height << pixmap.argb;
  out.endStructure();
  return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, tSniPixmap& pixmap) {
  in.beginStructure();
  in >> pixmap.width >> pixmap.height >> pixmap.argb;
  in.endStructure();
  return in;
}

QDBusArgument& operator<<(QDBusArgument& out, const tSniToolTip& tip) {
  out.beginStructure();
  out << tip.iconName << tip.pixmaps << tip.title << tip.text;
  out.endStructure();
  return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, tSniToolTip& tip) {
  in.beginStructure();
  in >> tip.iconName >> tip.pixmaps >> tip.title >> tip.text;
  in.endStructure();
  return in;
}

tSniPixmaps SniPixmaps(const QIcon& icon) {
  tSniPixmaps pixmaps;
  for (const QSize& size : icon.availableSizes()) {
    const QImage image = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
    if (image.isNull()) continue;
    tSniPixmap pixmap{image.width(), image.height(), QByteArray()};
    pixmap.argb.resize(static_cast<qsizetype>(image.width()) * image.height() * 4);
    auto* out = reinterpret_cast<uchar*>(pixmap.argb.data());
    for (int y = 0; y < image.height(); ++y) {
      const auto* line = reinterpret_cast<const quint32*>(image.constScanLine(y));
      for (int x = 0; x < image.width(); ++x, out += 4) qToBigEndian(line[x], out);
    }
    pixmaps << pixmap;
  }
  return pixmaps;
}

bool StatusNotifierHostRegistered(const QDBusConnection& bus) {
  if (!bus.isConnected() || !bus.interface()->isServiceRegistered(WatcherService)) return false;
  QDBusMessage get = QDBusMessage::createMethodCall(WatcherService, WatcherPath,
                                                    QStringLiteral("org.freedesktop.DBus.Properties"),
                                                    QStringLiteral("Get"));
  get << WatcherService << QStringLiteral("IsStatusNotifierHostRegistered");
  const QDBusMessage reply = bus.call(get, QDBus::Block, CallTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
  return reply.arguments().front().value<QDBusVariant>().variant().toBool();
}

TStatusNotifier::TStatusNotifier(const QDBusConnection& bus, QObject* parent) : QObject(parent), bus_(bus) {
  qDBusRegisterMetaType<tSniPixmap>();
  qDBusRegisterMetaType<tSniPixmaps>();
  qDBusRegisterMetaType<tSniToolTip>();
  if (!bus_.isConnected()) return;
  watcher_ = new QDBusServiceWatcher(WatcherService, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
  connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
          [this](const QString&, const QString&, const QString& newOwner) { WatcherOwnerChanged(newOwner); });
}

TStatusNotifier::~TStatusNotifier() {
  blockSignals(true);  // the window that listens is going too
  Unregister();
}

QString TStatusNotifier::Id() const { return QString::fromLatin1(DesktopId); }

QString TStatusNotifier::Title() const { return QString::fromLatin1(ProductName); }

void TStatusNotifier::SetWanted(bool wanted) {
  if (wanted == wanted_ || !watcher_) return;
  wanted_ = wanted;
  if (!wanted) {
    Unregister();
    return;
  }
  // A watcher that is there already gets the item now; one that comes later, when it comes.
  auto* pending = new QDBusPendingCallWatcher(bus_.interface()->asyncCall(QStringLiteral("GetNameOwner"), WatcherService), this);
  connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
    const QDBusPendingReply<QString> owner = *call;
    if (owner.isValid() && wanted_ && !registered_) WatcherOwnerChanged(owner.value());
    call->deleteLater();
  });
}

void TStatusNotifier::WatcherOwnerChanged(const QString& newOwner) {
  if (newOwner.isEmpty()) {
    LogEvent("StatusNotifier watcher gone");
    SetRegistered(false);
    return;
  }
  // A new watcher (or a restarted one) knows nothing of us.
  SetRegistered(false);
  attempts_ = 0;
  if (wanted_) Register();
}

void TStatusNotifier::Register() {
  if (service_.isEmpty()) {
    if (!bus_.registerObject(ItemPath, this, QDBusConnection::ExportScriptableContents)) {
      LogEvent("sni1 Cannot export the tray item: " + bus_.lastError().message().toStdString());
      return;
    }
    // The name the watcher tells the hosts; a second item in this process takes the next number.
    for (int n = 1; n <= 9 && service_.isEmpty(); ++n) {
      const QString name = QStringLiteral("org.kde.StatusNotifierItem-%1-%2").arg(::getpid()).arg(n);
      if (bus_.registerService(name)) service_ = name;
    }
    if (service_.isEmpty()) {
      bus_.unregisterObject(ItemPath);
      LogEvent("sni2 Cannot name the tray item: " + bus_.lastError().message().toStdString());
      return;
    }
  }
  QDBusMessage call = QDBusMessage::createMethodCall(WatcherService, WatcherPath, WatcherService,
                                                     QStringLiteral("RegisterStatusNotifierItem"));
  call << service_;
  // Asynchronous: a watcher that hangs never holds up the windows.
  auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call, CallTimeoutMs), this);
  connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* reply) {
    reply->deleteLater();
    if (!reply->isError()) {
      if (wanted_ && !service_.isEmpty()) SetRegistered(true);
      return;
    }
    // A watcher takes its name before it has set up its methods: asked at once, it may not
    // know them yet.
    if (++attempts_ < MaxAttempts) {
      QTimer::singleShot(RetryMs, this, [this] {
        if (wanted_ && !registered_ && !service_.isEmpty()) Register();
      });
      return;
    }
    const QDBusError error = reply->error();
    LogEvent("sni3 StatusNotifier watcher refused the tray item: " + error.name().toStdString() + " " +
             error.message().toStdString());
  });
}

void TStatusNotifier::Unregister() {
  SetRegistered(false);
  if (service_.isEmpty()) return;
  // The watcher drops an item whose name leaves the bus.
  bus_.unregisterService(service_);
  bus_.unregisterObject(ItemPath);
  service_.clear();
}

void TStatusNotifier::SetRegistered(bool registered) {
  if (registered == registered_) return;
  registered_ = registered;
  if (registered) LogEvent("Tray item registered with the StatusNotifier watcher as " + service_.toStdString());
  emit RegisteredChanged(registered);
}

void TStatusNotifier::SetIcon(const QIcon& icon) {
  pixmaps_ = SniPixmaps(icon);
  emit NewIcon();
}

void TStatusNotifier::SetToolTip(const QString& tip) {
  if (tip == tip_) return;
  tip_ = tip;
  emit NewToolTip();
}

tSniToolTip TStatusNotifier::ToolTip() const {
  // The first line is the heading, the rest its text.
  const qsizetype br = tip_.indexOf(QLatin1Char('\n'));
  if (br < 0) return {QString(), {}, tip_, QString()};
  return {QString(), {}, tip_.left(br), tip_.mid(br + 1)};
}

void TStatusNotifier::Activate(int, int) { emit Activated(); }

void TStatusNotifier::SecondaryActivate(int, int) {}

void TStatusNotifier::ContextMenu(int x, int y) { emit MenuRequested(QPoint(x, y)); }

void TStatusNotifier::Scroll(int, const QString&) {}

}  // namespace kv
