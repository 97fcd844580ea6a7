#include "readvalue/SystemSources.h"

#include "readvalue/Readings.h"

namespace kv {

namespace metrics {

namespace {
std::string systemRoot = "/";
}

void SetSystemRoot(const std::string& root) { systemRoot = root.empty() ? "/" : root; }

const std::string& SystemRoot() { return systemRoot; }

std::string InRoot(const std::string& path) {
  if (systemRoot == "/") return path;
  std::string base = systemRoot;
  while (!base.empty() && base.back() == '/') base.pop_back();
  return path.empty() || path.front() != '/' ? base + "/" + path : base + path;
}

}  // namespace metrics

}  // namespace kv
