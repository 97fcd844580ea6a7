#pragma once
// The readings table as one JSON object, for kvsysinfo -json and the HTTP server's API.
#include <string>

namespace kv {

// The readings table, its companion values, the channel names and the health of every pass
// step as one JSON object. Main thread (it reads the table).
std::string ReadingsJson();

}  // namespace kv
