#pragma once
// What the globals check refuses (three variables) and what it lets pass.
#include <array>

namespace kv {

struct tState {
  int count = 0;
};

extern tState State;
extern const char* Name;
inline int& Count = State.count;

extern const char* const FileName;
extern const std::array<const char*, 2> Files;
inline constexpr int Limit = 3;
extern "C" int c_function(int value);
inline int Twice(int value) { return 2 * value; }
static int Half(int value) { return value / 2; }

}  // namespace kv
