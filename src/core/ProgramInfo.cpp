#include "core/ProgramInfo.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "core/Process.h"
#include "core/Text.h"

namespace kv {

const char* const DesktopId = "org.kelvara.Kelvara";

namespace {

const char* CommandName(tProgram program) {
  switch (program) {
    case tProgram::Kelvara: return "kelvara";
    case tProgram::SysInfo: return "kvsysinfo";
    case tProgram::Options: return "kvoptions";
  }
  return "kelvara";
}

constexpr const char* HelpAndVersionLines =
    "  -h, --help        show this help and end\n"
    "  --version         show the version and the licence and end\n";

// The switch without its "--", "-" or "/", lower-cased; empty for anything else.
std::string SwitchName(std::string_view arg) {
  if (arg.starts_with("--")) arg.remove_prefix(2);
  else if (arg.starts_with('-') || arg.starts_with('/')) arg.remove_prefix(1);
  else return {};
  return LowerCase(arg);
}

}  // namespace

std::string ProgramUsage(tProgram program) {
  switch (program) {
    case tProgram::Kelvara:
      return "usage: kelvara [-headless] [-debug] [-zerovalue] [-expert] [-wait N]\n"
             "       kelvara -close | -suspend | -poweroff | -exit | -checkforupdate\n"
             "       kelvara --help | --version\n";
    case tProgram::SysInfo:
      return "usage: kvsysinfo [-json] [-passes N] [-light FILE] [-banner FILE]\n"
             "       [-chart FILE [-view 8h|24h|7d|year] [-hours H] [-end UTC]]\n"
             "       kvsysinfo 1 | -window\n"
             "       kvsysinfo --help | --version\n";
    case tProgram::Options:
      return "usage: kvoptions PAGE [D|-] [E|-]   (PAGE 1 .. 14)\n"
             "       kvoptions --help | --version\n";
  }
  return {};
}

std::string ProgramHelp(tProgram program) {
  std::string text = ProgramUsage(program) + "\n";
  switch (program) {
    case tProgram::Kelvara:
      text +=
          "Watches this PC's sensors and counters, keeps their history for 8 hours, 7 days and a\n"
          "year, draws it and publishes the pictures. One instance runs per user; starting another\n"
          "shows the running one. Switches start with - or / in any letter case.\n\n"
          "  -headless         run without windows or tray icon (also when no display is reachable)\n"
          "  -debug            write the event log KVEvents.txt in the settings folder\n"
          "  -zerovalue        accept 0 as a valid sensor value\n"
          "  -expert           show the expert options\n"
          
          "  -wait N           wait N seconds before starting\n"
          "  -close            end the running instance (it saves everything first)\n"
          "  -suspend          put the machine into standby and wait until the user is back\n"
          "  -poweroff         power the machine off\n"
          "  -exit             set up the settings folder and end\n"
          "  -checkforupdate   switch the daily update check on and end\n";
      break;
    case tProgram::SysInfo:
      text +=
          "Runs the monitor's reading pass with the user's settings and prints the readings; never\n"
          "writes the settings or statistics. Switches start with - or / in any letter case.\n\n"
          "  -json             print one JSON object instead of the table\n"
          "  -passes N         run N passes (1 to 100000) before printing\n"
          "  -light FILE       draw the light picture into FILE\n"
          "  -banner FILE      draw the banner from the 8-hour statistics into FILE\n"
          "  -chart FILE       draw the main window's chart from the statistics files into FILE\n"
          "  -view VIEW        with -chart: 8h (default), 24h, 7d or year\n"
          "  -hours H          with -chart: the width in hours, 1/60 to 8784\n"
          "  -end UTC          with -chart: the right edge, such as 2026-12-09T18:00:00Z\n"
          "  1, -window        show the readings in a window\n"
          "Pictures are PNG, or GIF when FILE ends in .gif.\n";
      break;
    case tProgram::Options:
      text +=
          "Shows the monitor's settings page by page and saves them; a running kelvara takes the\n"
          "saved values over. Needs a display.\n\n"
          "  PAGE              the page shown first, 1 to 14\n"
          "  D                 show the debug page (-: do not)\n"
          "  E                 show the expert page (-: do not)\n";
      break;
  }
  text += HelpAndVersionLines;
  text += std::string("\nSee ") + CommandName(program) + "(1).\n";
  return text;
}

std::string ProgramVersion(tProgram program) {
  const std::string_view product = ProductVersion;  // "Kelvara <version>"
  const size_t blank = product.find(' ');
  const std::string_view version = blank == std::string_view::npos ? product : product.substr(blank + 1);
  return std::string(CommandName(program)) + " " + std::string(version) +
         "\n"
         "Copyright (C) 2026 The Kelvara developers\n"
         "License GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>\n"
         "This is free software: you are free to change and redistribute it.\n"
         "There is NO WARRANTY, to the extent permitted by law.\n";
}

std::optional<int> AnswerHelpOrVersion(tProgram program, int argc, char** argv) {
  std::string answer;
  for (int i = 1; i < argc && answer.empty(); ++i) {
    const std::string name = SwitchName(argv[i]);
    if (name == "help" || name == "h" || name == "?") answer = ProgramHelp(program);
    else if (name == "version") answer = ProgramVersion(program);
  }
  if (answer.empty()) return std::nullopt;
  // A full disk or a closed descriptor is a failure, not a help text shown.
  if (std::fwrite(answer.data(), 1, answer.size(), stdout) != answer.size() || std::fflush(stdout) != 0) {
    const int error = errno;
    std::fprintf(stderr, "%s: cannot write to standard output: %s\n", CommandName(program), std::strerror(error));
    return 1;
  }
  return 0;
}

}  // namespace kv
