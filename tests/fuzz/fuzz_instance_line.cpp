// Lines another local process writes into the instance socket.
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "platform/Instance.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kvfuzz::Init();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    const std::optional<int> message = kv::ParseInstanceLine(line);
    if (!message) continue;
    // Whatever was accepted is a short number that reads back as itself.
    if (line.size() > 32) kvfuzz::Fail("an over-long line was taken as a message");
    if (kv::ParseInstanceLine(std::to_string(*message)) != message) kvfuzz::Fail("a message does not read back");
  }
  return 0;
}
