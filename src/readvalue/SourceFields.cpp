#include "readvalue/SourceFields.h"

#include <cmath>
#include <exception>

#include "readvalue/Readings.h"
#include "settings/Settings.h"

namespace kv {

void SetChannel(tChannelGroup group, int channel, int16_t value) {
  const int i = ChannelIndex(channel);
  switch (group) {
    case tChannelGroup::T: Readings.T[i] = value; break;
    case tChannelGroup::V: Readings.V[i] = value; break;
    case tChannelGroup::F: Readings.F[i] = value; break;
    case tChannelGroup::CPU: Readings.CPU[i] = value; break;
  }
}

std::string& ChannelName(tChannelGroup group, int channel) {
  const auto i = static_cast<size_t>(ChannelIndex(channel));
  switch (group) {
    case tChannelGroup::V: return VCfg[i].Name;
    case tChannelGroup::F: return FCfg[i].Name;
    case tChannelGroup::CPU: return CPUCfg[i].Name;
    case tChannelGroup::T: break;
  }
  return TCfg[i].Name;
}

std::string DefaultChannelName(tChannelGroup group, int channel) {
  const char* letter = group == tChannelGroup::V ? "V" : group == tChannelGroup::F ? "F" : "T";
  return letter + std::to_string(channel);
}

void NameChannel(tChannelGroup group, int channel, const std::string& name) {
  ReplaceDefaultName(ChannelName(group, channel), DefaultChannelName(group, channel), name);
}

// ---- Tests ----

static bool Azv() { return Settings.AcceptZeroValue; }

bool AnyValue(double) { return true; }
bool NonZero(double v) { return v != 0; }
bool TempOrAzv(double t) { return (t != 0 && t < 150) || Azv(); }
bool TempBelow150ZeroIfAzv(double t) { return t < 150 && (t != 0 || Azv()); }
bool VoltWithin20(double v) { return -20 < v && v < 20 && v != 0; }
bool VoltWithin150(double v) { return -150 < v && v < 150 && v != 0; }
bool FanBelow20000(double f) { return f < 20000; }
bool FanNot255Below20000(double f) { return f != 255 && f < 20000; }
bool FanNot255(double f) { return f != 255; }

int16_t Scaled(double v, tScale scale) {
  switch (scale) {
    case tScale::Times100: return StoreTimes100(v);
    case tScale::Load1024: return StoreAsIs(v / 1024.0 * 10000.0);
    case tScale::AsIs: break;
  }
  return StoreAsIs(v);
}

void StoreChecked(tChannelGroup group, int channel, double v, tValueTest test, tScale scale) {
  if (std::isfinite(v) && test(v)) SetChannel(group, channel, Scaled(v, scale));
}

// ---- Fixed layouts ----

size_t FieldSize(tFieldType type) {
  switch (type) {
    case tFieldType::Int16:
    case tFieldType::UInt16: return 2;
    case tFieldType::Int32:
    case tFieldType::UInt32:
    case tFieldType::Float: return 4;
    case tFieldType::Double: break;
  }
  return 8;
}

double ReadField(const ShmView& view, size_t offset, tFieldType type) {
  switch (type) {
    case tFieldType::Int16: return view.Int16(offset);
    case tFieldType::UInt16: return view.UInt16(offset);
    case tFieldType::Int32: return view.Int32(offset);
    case tFieldType::UInt32: return view.UInt32(offset);
    case tFieldType::Float: return view.Float(offset);
    case tFieldType::Double: break;
  }
  return view.Double(offset);
}

size_t RowEnd(const tFieldRun& run) {
  return run.offset + run.stride * static_cast<size_t>(run.count - 1) + FieldSize(run.type);
}

size_t RowEnd(const tMappedField& field) { return field.offset + FieldSize(field.type); }

void ApplyRow(const ShmView& view, const tFieldRun& run) {
  for (int k = 0; k < run.count; ++k) {
    const double v = ReadField(view, run.offset + run.stride * static_cast<size_t>(k), run.type);
    StoreChecked(run.group, run.firstChannel + k, v, run.test, run.scale);
  }
}

void ApplyRow(const ShmView& view, const tMappedField& field) {
  const double v = ReadField(view, field.offset, field.type);
  for (int k = 1; k <= TempChannels; ++k)
    if ((*field.map)[static_cast<size_t>(ChannelIndex(k))] == field.entry)
      StoreChecked(field.group, k, v, field.test, field.scale);
}

bool ReadSharedMemoryStepErrors(const std::string& name, tShmAccess access, const tShmReader& reader,
                                const tShmTags& tags) {
  std::exception_ptr failure;
  const bool read = ReadSharedMemory(
      name, access,
      [&](const ShmView& view) {
        try {
          reader(view);
        } catch (...) {
          failure = std::current_exception();
        }
      },
      tags);
  if (failure) std::rethrow_exception(failure);
  return read;
}

}  // namespace kv
