#include "readvalue/Everest.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>
#include <string>

#include "core/EventLog.h"
#include "core/Text.h"
#include "readvalue/Readings.h"
#include "readvalue/SourceFields.h"
#include "settings/Settings.h"

namespace kv {

namespace {

constexpr size_t MaxText = 4096;

std::string_view Child(std::string_view content, std::string_view name) {
  return NextElement(content, name).value_or(std::string_view{});
}

// A decimal number with "." whatever the locale.
double ParseNumber(std::string_view text) {
  const std::string s = Trim(text);
  double v = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (error != std::errc{} || end != s.data() + s.size() || s.empty() || !std::isfinite(v))
    throw std::invalid_argument("'" + s + "' is not a valid number");
  return v;
}

int16_t ParseTimes100(std::string_view text) { return StoreTimes100(ParseNumber(text)); }

int16_t ParseInteger(std::string_view text) {
  const std::optional<int64_t> v = ParseInt(Trim(text));
  if (!v) throw std::invalid_argument("'" + std::string(text) + "' is not a valid integer");
  return StoreAsIs(static_cast<double>(*v));
}

struct tElementRow {
  const char* element;
  tChannelGroup group;
  tStringMap tSettings::*map;
  int16_t (*parse)(std::string_view);
};
const tElementRow ElementTable[] = {
    {"temp", tChannelGroup::T, &tSettings::AIDAOrderT, ParseTimes100},
    {"fan", tChannelGroup::F, &tSettings::AIDAOrderF, ParseInteger},
    {"volt", tChannelGroup::V, &tSettings::AIDAOrderV, ParseTimes100},
};

// A value that does not convert shows no value in its channel; the rest goes on.
int16_t Converted(const tElementRow& row, std::string_view value) {
  try {
    return row.parse(value);
  } catch (const std::exception& e) {
    LogError("re2 ", e);
    return NoValue16;
  }
}

void ReadClock(tReadingsState& current, std::string_view text) {
  while (const std::optional<std::string_view> sys = NextElement(text, "sys")) {
    if (Child(*sys, "label") != "CPU Clock") continue;
    const std::string_view value = Child(*sys, "value");
    if (value.empty()) return;
    try {
      int32_t& freq = current.Readings.Freq;
      freq = StoreAsIs32(ParseNumber(value) * 1000.0);
      if (freq != NoValue32) current.FreqMax = std::max(current.FreqMax, freq);
    } catch (const std::exception& e) {
      LogError("re2 ", e);
    }
    return;
  }
}

// Elements count from 1, only those with a value. Channel r takes the k-th element when its
// map entry is the text of k or the element's label.
void ReadElements(tPassContext& ctx, std::string_view text, const tElementRow& row) {
  int k = 0;
  while (const std::optional<std::string_view> element = NextElement(text, row.element)) {
    const std::string_view value = Child(*element, "value");
    if (value.empty()) continue;
    const std::string number = std::to_string(++k);
    const std::string label = OutsideText(Child(*element, "label"));
    for (int r = 1; r <= TempChannels; ++r) {
      const std::string& entry = (ctx.Settings.*row.map)[static_cast<size_t>(ChannelIndex(r))];
      if (entry.empty() || (entry != number && entry != label)) continue;
      SetChannel(ctx.Current.Readings, row.group, r, Converted(row, value));
      if (ctx.Current.EverestNamesPending) NameChannel(ctx.Settings, row.group, r, label);
    }
  }
}

void ApplyEverest(tPassContext& ctx, const ShmView& view) {
  const std::string text = view.Chars(0, std::min(view.Size(), MaxText));
  ReadClock(ctx.Current, text);
  for (const tElementRow& row : ElementTable) ReadElements(ctx, text, row);
  ctx.Current.EverestNamesPending = false;
}

}  // namespace

std::optional<std::string_view> NextElement(std::string_view& text, std::string_view name) {
  const std::string open = std::string("<").append(name).append(">");
  const std::string close = "</" + std::string(name) + ">";
  const size_t start = text.find(open);
  if (start == std::string_view::npos) return std::nullopt;
  const std::string_view rest = text.substr(start + open.size());
  const size_t end = rest.find(close);
  if (end == std::string_view::npos) return std::nullopt;
  text = rest;
  return rest.substr(0, end);
}

void ReadEverest(tPassContext& ctx, bool aida) {
  ReadSharedMemory(aida ? "AIDA64_SensorValues" : "EVEREST_SensorValues", tShmAccess::Read,
                   [&ctx](const ShmView& view) { ApplyEverest(ctx, view); }, {"re1 ", "re2 "}, ShmWatch(ctx));
}

void ReadEverestAreas(tPassContext& ctx) {
  ReadEverest(ctx, true);
  ReadEverest(ctx, false);
}

}  // namespace kv
