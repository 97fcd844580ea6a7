// Request targets as a browser (or an attacker) sends them: decoded, shaped into a document
// name, matched without regard to case and confined to a www folder that holds a link out.
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "publishing/http/RequestPath.h"

namespace {

std::string www, wwwReal;

void CheckInside(const std::string& path, std::string_view input) {
  if (path.empty() || path == wwwReal || path.rfind(wwwReal + "/", 0) == 0) return;
  kvfuzz::Fail("escaped the www folder: " + path + " from " + std::string(input));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kvfuzz::Init();
  const std::string root = kvfuzz::Folder();
  www = root + "www";
  std::filesystem::create_directories(www + "/Sub/Deeper");
  kvfuzz::WriteFile(root + "secret.txt", "secret");
  kvfuzz::WriteFile(www + "/Index.HTML", "index");
  kvfuzz::WriteFile(www + "/Sub/b.txt", "b");
  std::error_code ignored;
  std::filesystem::create_symlink(root + "secret.txt", www + "/out.txt", ignored);
  std::filesystem::create_symlink(root, www + "/Sub/up", ignored);
  char buf[PATH_MAX];
  if (!realpath(www.c_str(), buf)) kvfuzz::Fail("no www folder");
  wwwReal = buf;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  if (const auto path = kv::DecodeRequestPath(input)) {
    if (path->find('\0') != std::string::npos) kvfuzz::Fail("a NUL survived decoding");
    const std::string doc = kv::DocName(*path);
    if (doc.find("..") != std::string::npos) kvfuzz::Fail("\"..\" left in " + doc);
    CheckInside(kv::ConfinedPath(www, doc), input);
    CheckInside(kv::ConfinedPath(www, kv::MatchCase(www, doc)), input);
  }
  // The confinement alone, with no shaping before it, must hold as well.
  const std::string raw(input.substr(0, input.find('\0')));
  CheckInside(kv::ConfinedPath(www, raw), input);
  CheckInside(kv::ConfinedPath(www, kv::MatchCase(www, raw)), input);
  return 0;
}
