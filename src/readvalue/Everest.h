#pragma once
#include <optional>
#include <string_view>

namespace kv {

struct tPassContext;

// The text block of AIDA64 ("AIDA64_SensorValues", aida = true) or of its forerunner EVEREST
// ("EVEREST_SensorValues"): the CPU clock and the sys/temp/fan/volt elements, placed by
// AIDAOrderT/F/V.
void ReadEverest(tPassContext& ctx, bool aida);
// The pass step: AIDA64's block first, then EVEREST's.
void ReadEverestAreas(tPassContext& ctx);

// The next element named `name` in `text`: its content, or nullopt when there is none (no
// opening tag, or no closing tag after it). `text` moves on to the start of the content.
std::optional<std::string_view> NextElement(std::string_view& text, std::string_view name);

}  // namespace kv
