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
  std::vector<std::string> ignored;  // arguments that matched nothing, in their order
};

// Examines the arguments (without the program name) first to last; each switch works with
// "-" and "/" in any letter case, anything else is ignored. The toolkit's own switches (-platform,
// -style, -session and the like, with their values) are left to it and are not ignored ones.
tCommandLine ParseCommandLine(const std::vector<std::string>& args);

// One line for standard error naming the ignored arguments; empty when there are none.
std::string IgnoredArgumentsNote(const tCommandLine& cl);

}  // namespace kv
