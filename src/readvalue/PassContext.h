#pragma once
// What a source of the acquisition pass reads and writes, handed to it by the pass for each run
// (as node_exporter hands each collector the channel it sends to): the settings, whose switches
// and order maps it reads and whose channel names it may fill in; the readings table it writes;
// the process's folders; the root of the /proc and /sys tree it looks at; the time of the pass;
// and what it keeps from one pass to the next.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <typeindex>
#include <unordered_map>

#include "core/DateTime.h"
#include "core/Process.h"
#include "readvalue/Readings.h"

namespace kv {

struct tSettings;

// What sources keep between passes (the last CPU sample, the battery folders, the external
// area): one object per type, made on first use and kept as long as the pass that owns it.
class tSourceMemory {
 public:
  template <class T>
  T& Get() {
    std::shared_ptr<void>& slot = slots_[std::type_index(typeid(T))];
    if (!slot) slot = std::make_shared<T>();
    return *static_cast<T*>(slot.get());
  }

 private:
  std::unordered_map<std::type_index, std::shared_ptr<void>> slots_;
};

// Seconds since the user's last keyboard or mouse input; nullopt when unknown.
using tIdleSeconds = std::function<std::optional<uint32_t>()>;

struct tPassContext {
  tSettings& Settings;
  tReadingsState& Current;
  const tProcessFacts& Process;
  const std::string& SystemRoot;     // "/", or a fake tree's folder
  const tIdleSeconds& IdleSeconds;   // empty: unknown
  tSourceMemory& Memory;
  TDateTime Now = 0;       // UTC of this pass
  TDateTime Previous = 0;  // Readings.Time before this pass

  // A system path ("/home") inside SystemRoot.
  std::string InRoot(const std::string& path) const;
};

// A system path inside root ("/" leaves it as it is).
std::string InRoot(const std::string& root, const std::string& path);

}  // namespace kv
