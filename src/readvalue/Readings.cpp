#include "readvalue/Readings.h"

#include <cmath>
#include <limits>


namespace kv {

namespace {

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

void SetUpSecs(tReadingsState& current, uint32_t secs) {
  current.UpSecs = secs;
  current.UpDays = static_cast<uint16_t>(secs / 86400);
  current.UpHours = static_cast<uint16_t>(secs / 3600 % 24);
  current.UpMins = static_cast<uint16_t>(secs / 60 % 60);
  current.UpSecsPart = static_cast<uint16_t>(secs % 60);
}

void ResetReadings(tReadingsState& current) {
  tReadings& r = current.Readings;
  for (int i = 0; i < TChannels; ++i) r.T[i] = NoValue16;
  for (int i = 0; i < VChannels; ++i) r.V[i] = NoValue16;
  for (int i = 0; i < FChannels; ++i) r.F[i] = NoValue16;
  for (int i = 0; i < CPUChannels; ++i) r.CPU[i] = NoValue16;
  for (int i = 0; i < NetChannels; ++i) {
    r.NetIn[i] = NoValue32;
    r.NetOut[i] = NoValue32;
  }
  r.MemUsed = NoValue32;
  r.MemFree = NoValue32;
  r.PageUsed = NoValue32;
  r.PageFree = NoValue32;
  r.Cache = NoValue32;
  r.Freq = NoValue32;
  current.FreqMax = 0;
  current.CPUCount = 0;
  current.ReadingsExtra.UserSecs = 0;
  current.PassCount = 0;
  current.CPUPower = NoValue32;
  current.SFNamesPending = true;
  current.HWMNamesPending = true;
  current.EverestNamesPending = true;
  current.HwmonNamesPending = true;
  current.GpuNamesPending = true;
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

void StoreGpuHistory(tReadingsExtra& e, const std::vector<tGpu>& gpus) {
  e.Reserved[0] = GpuHistoryMarker;
  for (int i = 0; i < GpuSlots; ++i) {
    const bool present = i < static_cast<int>(gpus.size());
    e.Reserved[1 + i] = present ? gpus[static_cast<size_t>(i)].Load : NoValue32;
    e.Reserved[5 + i] = present ? gpus[static_cast<size_t>(i)].Power : NoValue32;
  }
}

int32_t GpuLoadAt(const tReadingsExtra& e, int slot) {
  return e.Reserved[0] == GpuHistoryMarker && slot >= 0 && slot < GpuSlots ? e.Reserved[1 + slot] : NoValue32;
}

int32_t GpuPowerAt(const tReadingsExtra& e, int slot) {
  return e.Reserved[0] == GpuHistoryMarker && slot >= 0 && slot < GpuSlots ? e.Reserved[5 + slot] : NoValue32;
}

}  // namespace kv
