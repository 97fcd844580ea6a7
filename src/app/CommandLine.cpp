#include "app/CommandLine.h"

#include "core/Text.h"

namespace kv {

namespace {

enum class tSwitchAction { Close, Suspend, PowerOff, Debug, ZeroValue, DontForcePo, Expert, Wait,
                           Exit, CheckForUpdate, Headless };

struct tSwitch {
  const char* name;  // without its prefix
  tSwitchAction action;
};

// Compared in this order for every argument.
constexpr tSwitch Switches[] = {
    {"close", tSwitchAction::Close},
    {"suspend", tSwitchAction::Suspend},
    {"poweroff", tSwitchAction::PowerOff},
    {"debug", tSwitchAction::Debug},
    {"zerovalue", tSwitchAction::ZeroValue},
    {"dontforcepo", tSwitchAction::DontForcePo},
    {"expert", tSwitchAction::Expert},
    {"wait", tSwitchAction::Wait},
    {"exit", tSwitchAction::Exit},
    {"checkforupdate", tSwitchAction::CheckForUpdate},
    {"headless", tSwitchAction::Headless},
};

// A whole number of seconds; not a number (or below zero) waits nothing, a huge value waits
// the longest a 16-bit count can hold rather than a wrapped-around surprise.
uint16_t WaitValue(const std::string& text) {
  const int64_t v = StrToIntDef(Trim(text), 0);
  if (v < 0) return 0;
  return v > 65535 ? 65535 : static_cast<uint16_t>(v);
}

}  // namespace

tCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  tCommandLine cl;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string arg = LowerCase(args[i]);
    if (arg.size() < 2 || (arg[0] != '-' && arg[0] != '/')) continue;
    const std::string name = arg.substr(1);
    for (const tSwitch& sw : Switches) {
      if (name != sw.name) continue;
      switch (sw.action) {
        case tSwitchAction::Close: cl.oneShot = tOneShot::Close; return cl;
        case tSwitchAction::Suspend: cl.oneShot = tOneShot::Suspend; return cl;
        case tSwitchAction::PowerOff: cl.oneShot = tOneShot::PowerOff; return cl;
        case tSwitchAction::Debug: cl.debug = true; break;
        case tSwitchAction::ZeroValue: cl.zeroValue = true; break;
        case tSwitchAction::DontForcePo: break;
        case tSwitchAction::Expert: cl.expert = true; break;
        case tSwitchAction::Wait:
          if (i + 1 < args.size()) cl.waitSeconds = WaitValue(args[i + 1]);
          break;
        case tSwitchAction::Exit: cl.exit = true; break;
        case tSwitchAction::CheckForUpdate: cl.checkForUpdate = true; break;
        case tSwitchAction::Headless: cl.headless = true; break;
      }
      break;
    }
  }
  return cl;
}

}  // namespace kv
