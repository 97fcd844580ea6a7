#include "readvalue/SourceFields.h"

#include <cmath>
#include <exception>

#include "readvalue/Readings.h"
#include "settings/Settings.h"

namespace kv {

void SetChannel(tReadings& readings, tChannelGroup group, int channel, int16_t value) {
  const int i = ChannelIndex(channel);
  switch (group) {
    case tChannelGroup::T: readings.T[i] = value; break;
    case tChannelGroup::V: readings.V[i] = value; break;
    case tChannelGroup::F: readings.F[i] = value; break;
    case tChannelGroup::CPU: readings.CPU[i] = value; break;
  }
}

std::string& ChannelName(tSettings& settings, tChannelGroup group, int channel) {
  const auto i = static_cast<size_t>(ChannelIndex(channel));
  switch (group) {
    case tChannelGroup::V: return settings.VCfg[i].Name;
    case tChannelGroup::F: return settings.FCfg[i].Name;
    case tChannelGroup::CPU: return settings.CPUCfg[i].Name;
    case tChannelGroup::T: break;
  }
  return settings.TCfg[i].Name;
}

std::string DefaultChannelName(tChannelGroup group, int channel) {
  const char* letter = group == tChannelGroup::V ? "V" : group == tChannelGroup::F ? "F" : "T";
  return std::string(letter).append(std::to_string(channel));
}

void NameChannel(tSettings& settings, tChannelGroup group, int channel, const std::string& name) {
  ReplaceDefaultName(ChannelName(settings, group, channel), DefaultChannelName(group, channel), name);
}

// ---- Outside text ----

namespace {

// Length of the valid UTF-8 sequence at s[i], 0 when there is none (overlong forms,
// surrogates and code points past U+10FFFF are not valid).
size_t Utf8Length(std::string_view s, size_t i) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[i + k]); };
  const auto cont = [&](size_t k) { return i + k < s.size() && (b(k) & 0xC0) == 0x80; };
  const unsigned char c = b(0);
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) return cont(1) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    if (!cont(1) || !cont(2)) return 0;
    if (c == 0xE0 && b(1) < 0xA0) return 0;   // overlong
    if (c == 0xED && b(1) >= 0xA0) return 0;  // surrogate
    return 3;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    if (!cont(1) || !cont(2) || !cont(3)) return 0;
    if (c == 0xF0 && b(1) < 0x90) return 0;   // overlong
    if (c == 0xF4 && b(1) >= 0x90) return 0;  // past U+10FFFF
    return 4;
  }
  return 0;
}

bool ValidUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const size_t n = Utf8Length(s, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

// Windows-1252 for 0x80..0x9F; the five unassigned bytes give nothing.
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::string OutsideText(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  if (ValidUtf8(raw)) {
    for (size_t i = 0; i < raw.size();) {
      const size_t n = Utf8Length(raw, i);
      const auto c = static_cast<unsigned char>(raw[i]);
      // C0 controls, DEL, and the C1 controls U+0080..U+009F (C2 80..C2 9F) are dropped.
      const bool control = c < 0x20 || c == 0x7F || (c == 0xC2 && static_cast<unsigned char>(raw[i + 1]) < 0xA0);
      if (!control) out.append(raw.substr(i, n));
      i += n;
    }
    return out;
  }
  for (const char ch : raw) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F) continue;
    if (c < 0x80) out += ch;
    else if (c < 0xA0) { if (Cp1252High[c - 0x80]) AppendUtf8(out, Cp1252High[c - 0x80]); }
    else AppendUtf8(out, c);  // the rest of Windows-1252 is Latin-1
  }
  return out;
}

// ---- Tests ----

bool AnyValue(double, bool) { return true; }
bool NonZero(double v, bool) { return v != 0; }
bool TempOrAzv(double t, bool azv) { return (t != 0 && t < 150) || azv; }
bool TempBelow150ZeroIfAzv(double t, bool azv) { return t < 150 && (t != 0 || azv); }
bool VoltWithin20(double v, bool) { return -20 < v && v < 20 && v != 0; }
bool VoltWithin150(double v, bool) { return -150 < v && v < 150 && v != 0; }
bool FanBelow20000(double f, bool) { return f < 20000; }
bool FanNot255Below20000(double f, bool) { return f != 255 && f < 20000; }
bool FanNot255(double f, bool) { return f != 255; }

int16_t Scaled(double v, tScale scale) {
  switch (scale) {
    case tScale::Times100: return StoreTimes100(v);
    case tScale::Load1024: return StoreAsIs(v / 1024.0 * 10000.0);
    case tScale::AsIs: break;
  }
  return StoreAsIs(v);
}

void StoreChecked(tPassContext& ctx, tChannelGroup group, int channel, double v, tValueTest test, tScale scale) {
  if (std::isfinite(v) && test(v, ctx.Settings.AcceptZeroValue))
    SetChannel(ctx.Current.Readings, group, channel, Scaled(v, scale));
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

void ApplyRow(tPassContext& ctx, const ShmView& view, const tFieldRun& run) {
  for (int k = 0; k < run.count; ++k) {
    const double v = ReadField(view, run.offset + run.stride * static_cast<size_t>(k), run.type);
    StoreChecked(ctx, run.group, run.firstChannel + k, v, run.test, run.scale);
  }
}

void ApplyRow(tPassContext& ctx, const ShmView& view, const tMappedField& field) {
  const double v = ReadField(view, field.offset, field.type);
  const tStringMap& map = ctx.Settings.*field.map;
  for (int k = 1; k <= TempChannels; ++k)
    if (map[static_cast<size_t>(ChannelIndex(k))] == field.entry)
      StoreChecked(ctx, field.group, k, v, field.test, field.scale);
}

tShmWatch* ShmWatch(tPassContext& ctx) { return &ctx.Memory.Get<tShmWatch>(); }

bool ReadSharedMemoryStepErrors(const std::string& name, tShmAccess access, const tShmReader& reader,
                                const tShmTags& tags, tShmWatch* watch) {
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
      tags, watch);
  if (failure) std::rethrow_exception(failure);
  return read;
}

}  // namespace kv
