#pragma once
// What each program says about itself when asked from a shell: its usage and its version.
#include <optional>
#include <string>

namespace kv {

enum class tProgram { Kelvara, SysInfo, Options };

// The desktop entry's name without ".desktop", also the software-centre id and the Wayland app id.
extern const char* const DesktopId;

std::string ProgramUsage(tProgram program);    // the synopsis, "usage: ..." lines
std::string ProgramHelp(tProgram program);     // the synopsis and one line per switch
std::string ProgramVersion(tProgram program);  // "<program> <version>" and the licence

// --help, -h or --version among the arguments (also with "-" or "/" and in any letter case):
// the answer goes to standard output and its exit code is returned, 0, or 1 when standard
// output could not take it. Without one of them: nothing, and the program starts as usual.
// Reads nothing, opens nothing: safe as the first line of main.
std::optional<int> AnswerHelpOrVersion(tProgram program, int argc, char** argv);

}  // namespace kv
