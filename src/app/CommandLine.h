#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kv {

// Switches that end the process at once; later arguments are not examined.
enum class tOneShot { None, Close, Suspend, PowerOff };

struct tCommandLine {
  tOneShot oneShot = tOneShot::None;
  bool debug = false;
  bool zeroValue = false;
  bool expert = false;
  bool exit = false;
  bool checkForUpdate = false;
  bool headless = false;
  uint16_t waitSeconds = 0;
};

// Examines the arguments (without the program name) first to last; each switch works with
// "-" and "/" in any letter case, anything else is ignored.
tCommandLine ParseCommandLine(const std::vector<std::string>& args);

}  // namespace kv
