#include "app/CommandLine.h"

#include <string_view>

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

// The switches Qt takes out of the arguments itself (a session manager restarts the program with
// -session), and whether the next argument is their value. Compared as Qt does: exact letters,
// one or two dashes, a value also after "=".
struct tToolkitSwitch {
  std::string_view name;
  bool value;
};
constexpr tToolkitSwitch ToolkitSwitches[] = {
    {"platform", true}, {"platformpluginpath", true}, {"platformtheme", true}, {"plugin", true},
    {"qwindowgeometry", true}, {"geometry", true}, {"qwindowtitle", true}, {"title", true},
    {"qwindowicon", true}, {"icon", true}, {"session", true}, {"display", true}, {"name", true},
    {"style", true}, {"stylesheet", true}, {"reverse", false}, {"widgetcount", false},
    {"testability", false}, {"nograb", false}, {"dograb", false}, {"sync", false},
    {"qmljsdebugger", false},
};

// Whether args[i] is one of the toolkit's switches; value tells whether the next argument is its.
bool ToolkitSwitch(const std::vector<std::string>& args, size_t i, bool& value) {
  std::string_view arg = args[i];
  if (!arg.starts_with('-')) return false;
  arg.remove_prefix(arg.starts_with("--") ? 2 : 1);
  const size_t equals = arg.find('=');
  for (const tToolkitSwitch& sw : ToolkitSwitches) {
    if (arg.substr(0, equals) != sw.name) continue;
    value = sw.value && equals == std::string_view::npos;
    return true;
  }
  return false;
}

}  // namespace

tCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  tCommandLine cl;
  // The argument after -wait or after a toolkit switch is a value: examined like any other, but
  // not named as ignored when it matches nothing.
  size_t valueAt = args.size();
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string arg = LowerCase(args[i]);
    const std::string name = arg.size() >= 2 && (arg[0] == '-' || arg[0] == '/') ? arg.substr(1) : "";
    const tSwitch* sw = nullptr;
    for (const tSwitch& s : Switches)
      if (!sw && name == s.name) sw = &s;
    bool toolkitValue = false;
    if (!sw) {
      if (ToolkitSwitch(args, i, toolkitValue)) {
        if (toolkitValue) valueAt = i + 1;
      } else if (i != valueAt) {
        cl.ignored.push_back(args[i]);
      }
      continue;
    }
    switch (sw->action) {
      case tSwitchAction::Close: cl.oneShot = tOneShot::Close; return cl;
      case tSwitchAction::Suspend: cl.oneShot = tOneShot::Suspend; return cl;
      case tSwitchAction::PowerOff: cl.oneShot = tOneShot::PowerOff; return cl;
      case tSwitchAction::Debug: cl.debug = true; break;
      case tSwitchAction::ZeroValue: cl.zeroValue = true; break;
      case tSwitchAction::DontForcePo: break;
      case tSwitchAction::Expert: cl.expert = true; break;
      case tSwitchAction::Wait:
        if (i + 1 < args.size()) cl.waitSeconds = WaitValue(args[i + 1]);
        valueAt = i + 1;
        break;
      case tSwitchAction::Exit: cl.exit = true; break;
      case tSwitchAction::CheckForUpdate: cl.checkForUpdate = true; break;
      case tSwitchAction::Headless: cl.headless = true; break;
    }
  }
  return cl;
}

std::string IgnoredArgumentsNote(const tCommandLine& cl) {
  if (cl.ignored.empty()) return {};
  std::string names;
  for (const std::string& arg : cl.ignored) {
    if (!names.empty()) names += ", ";
    names += '"';
    // A terminal is not sent control characters from a stray argument.
    for (char c : arg) names += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
    names += '"';
  }
  return std::string("kelvara: ignored unknown argument") + (cl.ignored.size() > 1 ? "s " : " ") + names +
         " (kelvara --help lists the switches)\n";
}

}  // namespace kv
