#pragma once
// SMART temperatures of SATA drives as the udisks2 daemon publishes them on the system bus, for
// drives that drivetemp does not already show through hwmon (NVMe drives come through hwmon and
// are not on udisks2's ATA interface). They join the temperature channels as hwmon sensors of
// the chip "udisks2", labelled by model and serial: the same order map, after the hwmon sensors
// in discovery order.
//
// The bus is asked in a worker with every call bounded, on the first pass and then at most on
// every tenth: SMART figures change slowly. The drives of the last answer stay in the readings'
// Drives list. Without the daemon (or the bus) the step says so once and asks again only after
// a settings reload.
#include <QString>
#include <QVariantMap>
#include <map>
#include <string>
#include <vector>

#include "readvalue/HwmonSource.h"

namespace kv {

struct tPassContext;

// One object of udisks2's object manager: its interfaces with their properties.
struct tBusObject {
  std::string path;
  std::map<std::string, QVariantMap> interfaces;
};

// The drives among objects that have a SMART temperature, as sensors, at most 32; a drive whose
// block device has a hwmon sensor under root's /sys (drivetemp) is left out.
std::vector<tHwmonSensor> DriveSensors(const std::vector<tBusObject>& objects, const std::string& root);

struct tDriveScan {
  bool present = false;  // the bus answered and udisks2 runs on it
  std::string error;     // why not, or what failed
  std::vector<tHwmonSensor> drives;
};

// One look at the system bus (its address from DBUS_SYSTEM_BUS_ADDRESS as for every program)
// through the connection called connection, made when missing; each call waits timeoutMs at most.
tDriveScan ScanUDisks(const QString& connection, const std::string& root, int timeoutMs);

void ReadDriveTemps(tPassContext& ctx);
void ReopenDriveTemps(tPassContext& ctx);
void CloseDriveTemps(tPassContext& ctx);

}  // namespace kv
