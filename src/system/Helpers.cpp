#include "system/Helpers.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "platform/SharedMemory.h"

namespace kv {

namespace {
bool BlockExists(const std::string& name) {
  const int fd = ::shm_open(SharedMemoryPath(name).c_str(), O_RDONLY, 0);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}
}  // namespace

bool SpeedFanPresent() { return BlockExists("SFSharedMemory_ALM"); }
bool HWMonitorPresent() { return BlockExists("$CPUID$HWM$"); }

bool StartSpeedFan() { return false; }
bool StartHWM() { return false; }

}  // namespace kv
