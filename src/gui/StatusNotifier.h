#pragma once
// Our own StatusNotifierItem on the session bus. Qt asks once per process whether a
// StatusNotifier host is there and never again, so a panel that starts after us (the usual race
// with login autostart) would never get Qt's icon. This item registers with the
// StatusNotifierWatcher whenever one appears, again after the watcher restarts, and carries the
// icon and tip the window gives it; the host's clicks come back as signals.
#include <QByteArray>
#include <QDBusConnection>
#include <QIcon>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QPoint>
#include <QString>

class QDBusArgument;
class QDBusServiceWatcher;

namespace kv {

// One picture of the icon: ARGB32 in network byte order, row after row.
struct tSniPixmap {
  int width = 0;
  int height = 0;
  QByteArray argb;
};
using tSniPixmaps = QList<tSniPixmap>;

struct tSniToolTip {
  QString iconName;
  tSniPixmaps pixmaps;
  QString title;
  QString text;
};

QDBusArgument& operator<<(QDBusArgument& out, const tSniPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& in, tSniPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& out, const tSniToolTip& tip);
const QDBusArgument& operator>>(const QDBusArgument& in, tSniToolTip& tip);

// The icon's pictures in every size it has, as the host wants them.
tSniPixmaps SniPixmaps(const QIcon& icon);

// What Qt's tray asked at its start: a watcher with a host registered on this bus. When it was
// there, Qt's own tray talks to the host and this item stays away.
bool StatusNotifierHostRegistered(const QDBusConnection& bus);

class TStatusNotifier final : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
  Q_PROPERTY(QString Category READ Category)
  Q_PROPERTY(QString Id READ Id)
  Q_PROPERTY(QString Title READ Title)
  Q_PROPERTY(QString Status READ Status)
  Q_PROPERTY(int WindowId READ WindowId)
  Q_PROPERTY(QString IconName READ NoName)
  Q_PROPERTY(QString IconThemePath READ NoName)
  Q_PROPERTY(kv::tSniPixmaps IconPixmap READ IconPixmap)
  Q_PROPERTY(QString OverlayIconName READ NoName)
  Q_PROPERTY(kv::tSniPixmaps OverlayIconPixmap READ NoPixmaps)
  Q_PROPERTY(QString AttentionIconName READ NoName)
  Q_PROPERTY(kv::tSniPixmaps AttentionIconPixmap READ NoPixmaps)
  Q_PROPERTY(QString AttentionMovieName READ NoName)
  Q_PROPERTY(kv::tSniToolTip ToolTip READ ToolTip)
  Q_PROPERTY(bool ItemIsMenu READ ItemIsMenu)

 public:
  // Nothing happens on a bus that is not connected.
  explicit TStatusNotifier(const QDBusConnection& bus, QObject* parent = nullptr);
  ~TStatusNotifier() override;

  // Wanted: on the bus and registered with any watcher there is, now or later. Unwanted: off the
  // bus, so the host drops the icon (while Qt's own tray shows it).
  void SetWanted(bool wanted);
  // The watcher has taken the item: a host shows it.
  bool Registered() const { return registered_; }
  void SetIcon(const QIcon& icon);
  void SetToolTip(const QString& tip);

  QString Category() const { return QStringLiteral("ApplicationStatus"); }
  QString Id() const;
  QString Title() const;
  QString Status() const { return QStringLiteral("Active"); }
  int WindowId() const { return 0; }
  QString NoName() const { return {}; }
  tSniPixmaps IconPixmap() const { return pixmaps_; }
  tSniPixmaps NoPixmaps() const { return {}; }
  tSniToolTip ToolTip() const;
  // No exported menu (no Menu property): the host asks for ours with ContextMenu.
  bool ItemIsMenu() const { return false; }

 public slots:
  Q_SCRIPTABLE void Activate(int x, int y);
  Q_SCRIPTABLE void SecondaryActivate(int x, int y);
  Q_SCRIPTABLE void ContextMenu(int x, int y);
  Q_SCRIPTABLE void Scroll(int delta, const QString& orientation);

 signals:
  Q_SCRIPTABLE void NewIcon();
  Q_SCRIPTABLE void NewToolTip();
  Q_SCRIPTABLE void NewStatus(const QString& status);
  // For the window (not on the bus): a host came or went, the user's left click, the menu asked
  // for at a point of the screen.
  void RegisteredChanged(bool registered);
  void Activated();
  void MenuRequested(const QPoint& at);

 private:
  void WatcherOwnerChanged(const QString& newOwner);
  void Register();
  void Unregister();
  void SetRegistered(bool registered);

  QDBusConnection bus_;
  QDBusServiceWatcher* watcher_ = nullptr;
  QString service_;
  bool wanted_ = false;
  bool registered_ = false;
  int attempts_ = 0;
  tSniPixmaps pixmaps_;
  QString tip_;
};

}  // namespace kv

Q_DECLARE_METATYPE(kv::tSniPixmap)
Q_DECLARE_METATYPE(kv::tSniToolTip)
