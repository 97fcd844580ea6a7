// udisks2's object list as the drive-temperature reader takes it apart: objects, interfaces and
// properties of any type under any name, built from the input.
#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>
#include <QDBusObjectPath>
#include <cmath>
#include <filesystem>

#include "FuzzSupport.h"
#include "readvalue/DriveTemps.h"

namespace {

const char* const Interfaces[] = {"org.freedesktop.UDisks2.Drive", "org.freedesktop.UDisks2.Drive.Ata",
                                  "org.freedesktop.UDisks2.Block", "org.freedesktop.UDisks2.Partition"};
const char* const Properties[] = {"Model", "Serial", "SmartUpdated", "SmartTemperature", "Drive", "Device"};

template <size_t N>
std::string Pick(FuzzedDataProvider& in, const char* const (&names)[N]) {
  const size_t i = in.ConsumeIntegralInRange<size_t>(0, N);
  return i < N ? names[i] : in.ConsumeRandomLengthString(40);
}

QVariant Value(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 6)) {
    case 0: return QString::fromStdString(in.ConsumeRandomLengthString(100));
    case 1: return in.ConsumeFloatingPoint<double>();
    case 2: return QVariant::fromValue(in.ConsumeIntegral<qulonglong>());
    case 3: return QVariant::fromValue(QDBusObjectPath("/org/freedesktop/UDisks2/drives/" + QString::number(in.ConsumeIntegralInRange(0, 3))));
    case 4: {
      const std::string bytes = in.ConsumeRandomLengthString(40);
      return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }
    case 5: return in.ConsumeIntegral<int>();
    default: return in.ConsumeBool();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kvfuzz::Init();
  // One drive that drivetemp shows, so the hwmon look finds something.
  std::filesystem::create_directories(kvfuzz::Folder() + "sys/block/sda/device/hwmon/hwmon0");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  std::vector<kv::tBusObject> objects;
  while (in.remaining_bytes() > 0 && objects.size() < 64) {
    kv::tBusObject o{"/org/freedesktop/UDisks2/drives/" + std::to_string(in.ConsumeIntegralInRange(0, 3)), {}};
    for (int i = in.ConsumeIntegralInRange(0, 4); i > 0; --i) {
      QVariantMap& props = o.interfaces[Pick(in, Interfaces)];
      for (int p = in.ConsumeIntegralInRange(0, 6); p > 0; --p) props[QString::fromStdString(Pick(in, Properties))] = Value(in);
    }
    objects.push_back(std::move(o));
  }
  const std::vector<kv::tHwmonSensor> drives = kv::DriveSensors(objects, kvfuzz::Folder());
  if (drives.size() > 32) kvfuzz::Fail("more than 32 drives");
  for (const kv::tHwmonSensor& d : drives) {
    if (d.Label.empty() || d.Label.size() > 129) kvfuzz::Fail("label of " + std::to_string(d.Label.size()) + " bytes");
    for (unsigned char c : d.Label)
      if (c < 0x20 || c == 0x7f) kvfuzz::Fail("control character in a label");
    if (!std::isfinite(d.Value) || d.Value < -60 || d.Value > 200) kvfuzz::Fail("temperature out of range");
  }
  return 0;
}
