#include "readvalue/Readings.h"

#include <cmath>
#include <limits>

#include "core/EventLog.h"
#include "readvalue/SystemSources.h"

namespace kv {

tReadingsState ReadingsState;

void ClearReadingsState() { ReadingsState = tReadingsState{}; }

namespace {
std::function<void()> batteryEnumeration = metrics::ForgetBatteries;

// A rounded value as T, or `none` when T cannot hold it.
template <typename T>
T Fit(double rounded, T none) {
  if (!std::isfinite(rounded)) return none;
  if (rounded < static_cast<double>(std::numeric_limits<T>::min()) ||
      rounded > static_cast<double>(std::numeric_limits<T>::max()))
    return none;
  return static_cast<T>(rounded);
}
}  // namespace

void SetUpSecs(uint32_t secs) {
  UpSecs = secs;
  UpDays = static_cast<uint16_t>(secs / 86400);
  UpHours = static_cast<uint16_t>(secs / 3600 % 24);
  UpMins = static_cast<uint16_t>(secs / 60 % 60);
  UpSecsPart = static_cast<uint16_t>(secs % 60);
}

void SetBatteryEnumeration(std::function<void()> findBatteries) {
  batteryEnumeration = std::move(findBatteries);
}

void ResetReadings() {
  for (int i = 0; i < TChannels; ++i) Readings.T[i] = NoValue16;
  for (int i = 0; i < VChannels; ++i) Readings.V[i] = NoValue16;
  for (int i = 0; i < FChannels; ++i) Readings.F[i] = NoValue16;
  for (int i = 0; i < CPUChannels; ++i) Readings.CPU[i] = NoValue16;
  for (int i = 0; i < NetChannels; ++i) {
    Readings.NetIn[i] = NoValue32;
    Readings.NetOut[i] = NoValue32;
  }
  Readings.MemUsed = NoValue32;
  Readings.MemFree = NoValue32;
  Readings.PageUsed = NoValue32;
  Readings.PageFree = NoValue32;
  Readings.Cache = NoValue32;
  Readings.Freq = NoValue32;
  FreqMax = 0;
  CPUCount = 0;
  ReadingsExtra.UserSecs = 0;
  PassCount = 0;
  SFNamesPending = true;
  HWMNamesPending = true;
  EverestNamesPending = true;
  HwmonNamesPending = true;
  try {
    if (batteryEnumeration) batteryEnumeration();
  } catch (const std::exception& e) {
    LogError("ib1 ", e);
  }
}

double RoundHalfEven(double v) {
  if (!std::isfinite(v)) return v;
  const double lower = std::floor(v);
  const double diff = v - lower;  // exact for every double of interest here
  if (diff < 0.5) return lower;
  if (diff > 0.5) return lower + 1.0;
  return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

int16_t StoreTimes100(double v) { return Fit<int16_t>(RoundHalfEven(v * 100.0), NoValue16); }

int16_t StoreAsIs(double v) { return Fit<int16_t>(RoundHalfEven(v), NoValue16); }

int32_t StoreAsIs32(double v) { return Fit<int32_t>(RoundHalfEven(v), NoValue32); }

void PostProcessFans(tReadings& readings, std::span<const double, FChannels> divisors) {
  for (int i = 0; i < FChannels; ++i) {
    const double d = divisors[static_cast<size_t>(i)];
    const int16_t raw = readings.F[i];
    if (d != 0.0 && raw > 0 && raw < NoValue16) {
      const double quotient = d > 0 ? raw / d : raw * 100.0 / d;
      readings.F[i] = Fit<int16_t>(std::trunc(quotient), NoValue16);
    }
    if (readings.F[i] == 0) readings.F[i] = NoValue16;  // a stopped or absent fan
  }
}

bool ReplaceDefaultName(std::string& name, std::string_view defaultName, std::string_view supplied) {
  if (supplied.empty() || name != defaultName) return false;
  name = supplied;
  return true;
}

}  // namespace kv
