#pragma once
// A piece of a test run in a forked child, for what only a child may do (enter a mount
// namespace, load a stand-in library, start a program): its standard output and exit code
// come back to the test.
#include <functional>
#include <string>
#include <vector>

namespace kvtest {

inline constexpr int ChildSkipped = 77;  // the child could not set itself up: skip, do not fail

struct tChildRun {
  int code = -1;    // the exit code; -1 when a signal ended it (or it hung and was killed)
  std::string out;  // what it wrote to its standard output
};

// child runs in the fork with its standard output on a pipe; what it returns is its exit code
// (an exception: 1, with the message printed). It ends with _exit, so no test framework or Qt
// shut-down runs twice. The output is read until the child closes it or `seconds` pass; a
// child still running then is killed.
tChildRun RunChild(const std::function<int()>& child, int seconds = 60);

// In a child: becomes the program argv[0] with those arguments; returns only when that fails.
int Exec(const std::vector<std::string>& argv);

}  // namespace kvtest
