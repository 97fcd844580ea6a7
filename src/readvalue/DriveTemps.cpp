#include "readvalue/DriveTemps.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <future>
#include <stdexcept>

#include "core/EventLog.h"
#include "platform/BlockHwmon.h"
#include "readvalue/PassContext.h"
#include "readvalue/Readings.h"
#include "settings/Settings.h"

namespace kv {

namespace {

const QString Service = QStringLiteral("org.freedesktop.UDisks2");
const char* const DriveInterface = "org.freedesktop.UDisks2.Drive";
const char* const AtaInterface = "org.freedesktop.UDisks2.Drive.Ata";
const char* const BlockInterface = "org.freedesktop.UDisks2.Block";
const char* const PartitionInterface = "org.freedesktop.UDisks2.Partition";

constexpr size_t MaxDrives = 32;
constexpr size_t MaxLabel = 64;
constexpr int CallTimeoutMs = 2000;
// The first answer is waited for this long, so a program that runs one pass shows the drives.
constexpr std::chrono::milliseconds FirstWait{300};

// A text from the bus as a label part: printable, bounded, without surrounding blanks.
std::string LabelPart(const QVariant& v) {
  if (v.metaType().id() != QMetaType::QString) return {};
  std::string s = v.toString().toStdString();
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  if (s.size() > MaxLabel) {
    size_t cut = MaxLabel;
    while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
    s.resize(cut);
  }
  const size_t first = s.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

std::string ObjectPathOf(const QVariant& v) {
  return v.metaType() == QMetaType::fromType<QDBusObjectPath>() ? v.value<QDBusObjectPath>().path().toStdString()
                                                                 : std::string();
}

// Block's Device is a NUL-terminated byte string ("/dev/sda").
std::string DeviceOf(const QVariant& v) {
  if (v.metaType().id() != QMetaType::QByteArray) return {};
  const QByteArray bytes = v.toByteArray();
  return std::string(bytes.constData(), ::strnlen(bytes.constData(), static_cast<size_t>(bytes.size())));
}

const QVariantMap* Interface(const tBusObject& object, const char* name) {
  const auto it = object.interfaces.find(name);
  return it == object.interfaces.end() ? nullptr : &it->second;
}

// SmartTemperature in kelvin while SmartUpdated says the daemon has read SMART at all.
std::optional<double> Celsius(const QVariantMap& ata) {
  bool ok = false;
  const qulonglong updated = ata.value(QStringLiteral("SmartUpdated")).toULongLong(&ok);
  if (!ok || updated == 0) return std::nullopt;
  const double kelvin = ata.value(QStringLiteral("SmartTemperature")).toDouble(&ok);
  const double celsius = kelvin - 273.15;
  if (!ok || !std::isfinite(kelvin) || kelvin <= 0 || celsius < -60 || celsius > 200) return std::nullopt;
  return celsius;
}

using tBusInterfaces = QMap<QString, QVariantMap>;
using tBusObjects = QMap<QDBusObjectPath, tBusInterfaces>;

std::vector<tBusObject> Decode(const QDBusMessage& reply) {
  const QVariant first = reply.arguments().value(0);
  if (first.metaType() != QMetaType::fromType<QDBusArgument>())
    throw std::runtime_error("GetManagedObjects answered no object list");
  const QDBusArgument arg = first.value<QDBusArgument>();
  if (arg.currentSignature() != QLatin1String("a{oa{sa{sv}}}"))
    throw std::runtime_error("GetManagedObjects answered " + arg.currentSignature().toStdString());
  tBusObjects decoded;
  arg >> decoded;
  std::vector<tBusObject> objects;
  for (auto o = decoded.cbegin(); o != decoded.cend(); ++o) {
    tBusObject object{o.key().path().toStdString(), {}};
    for (auto i = o.value().cbegin(); i != o.value().cend(); ++i) object.interfaces[i.key().toStdString()] = i.value();
    objects.push_back(std::move(object));
  }
  return objects;
}

struct tDriveMemory {
  bool off = false;    // no daemon: nothing is asked until a reload
  bool asked = false;  // a scan started since the last reload
  bool used = false;   // a scan ever started: the connection may exist
  bool namesPending = false;  // a new answer: channels still named by default take the drives' names
  std::future<tDriveScan> scan;
  std::vector<tHwmonSensor> drives;
  QString connection;  // one bus connection per pass owner

  tDriveMemory() {
    char name[48];
    std::snprintf(name, sizeof name, "kelvara-udisks2-%p", static_cast<void*>(this));
    connection = QString::fromLatin1(name);
  }
  tDriveMemory(const tDriveMemory&) = delete;
  tDriveMemory& operator=(const tDriveMemory&) = delete;
  ~tDriveMemory() { Close(); }

  void Close() {
    if (!used) return;  // never on the bus: nothing to release
    if (scan.valid()) scan.wait();  // bounded by the call time-outs
    scan = {};
    QDBusConnection::disconnectFromBus(connection);
  }
};

}  // namespace

std::vector<tHwmonSensor> DriveSensors(const std::vector<tBusObject>& objects, const std::string& root) {
  // The whole-disk block device of each drive.
  std::map<std::string, std::string> devices;
  for (const tBusObject& o : objects) {
    const QVariantMap* block = Interface(o, BlockInterface);
    if (!block || Interface(o, PartitionInterface)) continue;
    const std::string drive = ObjectPathOf(block->value(QStringLiteral("Drive")));
    if (!drive.empty() && drive != "/") devices[drive] = DeviceOf(block->value(QStringLiteral("Device")));
  }
  std::vector<tHwmonSensor> sensors;
  for (const tBusObject& o : objects) {
    const QVariantMap* ata = Interface(o, AtaInterface);
    if (!ata || sensors.size() == MaxDrives) continue;
    const std::optional<double> celsius = Celsius(*ata);
    if (!celsius) continue;
    const auto device = devices.find(o.path);
    if (device != devices.end() && !device->second.empty() && BlockDeviceHasHwmon(root, device->second)) continue;
    std::string label;
    if (const QVariantMap* drive = Interface(o, DriveInterface)) {
      label = LabelPart(drive->value(QStringLiteral("Model")));
      const std::string serial = LabelPart(drive->value(QStringLiteral("Serial")));
      if (!serial.empty()) label += (label.empty() ? "" : " ") + serial;
    }
    if (label.empty() && device != devices.end()) label = device->second.substr(device->second.rfind('/') + 1);
    if (label.empty()) label = o.path.substr(o.path.rfind('/') + 1, MaxLabel);
    sensors.push_back({"udisks2", label, tHwmonKind::Temperature, *celsius});
  }
  return sensors;
}

tDriveScan ScanUDisks(const QString& connection, const std::string& root, int timeoutMs) {
  tDriveScan scan;
  QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, connection);
  const auto fail = [&](const std::string& why) {
    // The next scan connects afresh: the bus may come later.
    QDBusConnection::disconnectFromBus(connection);
    scan.error = why;
    return scan;
  };
  if (!bus.isConnected()) return fail("no system bus: " + bus.lastError().message().toStdString());
  QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                     QStringLiteral("/org/freedesktop/DBus"),
                                                     QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
  // Asked by name, so a daemon that is installed but stopped is not started by the question.
  call << Service;
  QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage) return fail("the bus did not answer: " + reply.errorMessage().toStdString());
  if (!reply.arguments().value(0).toBool()) return fail("udisks2 is not running");
  scan.present = true;
  call = QDBusMessage::createMethodCall(Service, QStringLiteral("/org/freedesktop/UDisks2"),
                                        QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                                        QStringLiteral("GetManagedObjects"));
  reply = bus.call(call, QDBus::Block, timeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage) {
    scan.error = "GetManagedObjects: " + reply.errorMessage().toStdString();
    return scan;
  }
  try {
    scan.drives = DriveSensors(Decode(reply), root);
  } catch (const std::exception& e) {
    scan.error = e.what();
  }
  return scan;
}

void ReadDriveTemps(tPassContext& ctx) {
  tDriveMemory& m = ctx.Memory.Get<tDriveMemory>();
  if (m.off) return;
  if (!m.scan.valid() && (!m.asked || ctx.Current.PassCount % 10 == 0)) {
    m.scan = std::async(std::launch::async, ScanUDisks, m.connection, ctx.SystemRoot, CallTimeoutMs);
    if (!m.asked) m.scan.wait_for(FirstWait);
    m.asked = m.used = true;
  }
  if (m.scan.valid() && m.scan.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
    tDriveScan scan = m.scan.get();
    if (!scan.present) {
      m.off = true;
      m.drives.clear();
      ctx.Current.Drives.clear();
      LogEvent("rv ud 1 No SMART drive temperatures from udisks2: " + scan.error);
      return;
    }
    if (!scan.error.empty()) throw std::runtime_error(scan.error);
    m.drives = std::move(scan.drives);
    m.namesPending = true;
    ctx.Current.Drives.clear();
    for (const tHwmonSensor& d : m.drives) ctx.Current.Drives.push_back({d.Label, d.Value});
  }
  StoreMoreSensors(ctx, m.drives, m.namesPending);
}

void ReopenDriveTemps(tPassContext& ctx) {
  tDriveMemory& m = ctx.Memory.Get<tDriveMemory>();
  m.off = false;
  m.asked = m.scan.valid();  // one still under way is taken when it comes, not waited for
  if (!ctx.Settings.ReadUDisks) ctx.Current.Drives.clear();
}

void CloseDriveTemps(tPassContext& ctx) {
  tDriveMemory& m = ctx.Memory.Get<tDriveMemory>();
  m.Close();
  m.asked = false;
}

}  // namespace kv
