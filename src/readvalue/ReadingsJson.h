#pragma once
// The readings table as one JSON object, for kvsysinfo -json and the HTTP server's API.
#include <span>
#include <string>
#include <vector>

#include "readvalue/Readings.h"

namespace kv {

struct tSettings;
struct tStepHealth;

// A member the layers above add after the steps: its name and its value as JSON text.
struct tJsonMember {
  std::string name;
  std::string json;
};

// The readings table, its companion values, the channel names, the health of every pass step
// and the extra members as one JSON object.
std::string ReadingsJson(const tReadingsState& current, const tSettings& settings,
                         std::span<const tStepHealth> health, const std::vector<tJsonMember>& extra = {});

// s as a JSON string literal; bytes that are not UTF-8 become U+FFFD.
std::string JsonString(const std::string& s);

}  // namespace kv
