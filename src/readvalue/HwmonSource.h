#pragma once
// The machine's own hwmon sensors in the T, V and F channels. The first source of a pass, so
// every other source and the external area override what it wrote.
//
// Channels follow the order map "OrderHwmon" (entries "chip label"); while that map is empty
// the sensors fill the channels in discovery order, each kind on its own, up to 10.
#include <string>
#include <vector>

namespace kv {

struct tPassContext;
struct tSettings;

enum class tHwmonKind { Temperature, Voltage, Fan };

struct tHwmonSensor {
  std::string Chip;   // as libsensors prints it, e.g. "coretemp-isa-0000"
  std::string Label;  // the feature's label, e.g. "Package id 0"
  tHwmonKind Kind = tHwmonKind::Temperature;
  double Value = 0;   // °C, V or RPM; NaN when it could not be read
};

// "chip label": the order map entry and the channel name of a sensor.
std::string HwmonSensorName(const tHwmonSensor& sensor);

// Whether the user ordered any sensor; with no entry at all the channels take discovery order.
bool OrderMapSet(const tSettings& s);

// Writes one reading of the sensors (every sensor of every chip, in discovery order) into the
// channels; an unreadable value leaves its channel. While HwmonNamesPending, channels still named
// by default take the sensor's name; a non-empty list clears the flag.
void StoreHwmonSensors(tPassContext& ctx, const std::vector<tHwmonSensor>& sensors);
// The same for sensors of a later step (the GPUs): they take the channels after those the hwmon
// sensors took in this pass, and name them while namesPending.
void StoreMoreSensors(tPassContext& ctx, const std::vector<tHwmonSensor>& sensors, bool& namesPending);

// The hwmon step of the pass: one reading of libsensors stored into the channels; after a
// settings reload the chips are scanned again, at shut-down the library is released.
void ReadHwmonSensors(tPassContext& ctx);
void ReopenHwmonSensors(tPassContext& ctx);
void CloseHwmonSensors(tPassContext& ctx);

}  // namespace kv
