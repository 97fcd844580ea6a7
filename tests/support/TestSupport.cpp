#include "support/TestSupport.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace kvtest {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kvtest-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern + "/";
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::vector<std::string> ShippedLanguages() {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(KV_TEST_SOURCE_DIR "/../data"))
    if (e.path().extension() == ".lng") names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

// Ports come from below the kernel's ephemeral range, so neither another test's "port 0" nor a
// client's outgoing connection can take one between our pick and the server's bind; a lock file
// held until the process ends keeps the test programs ctest runs side by side apart.
int FreePort() {
  int low = 32768;
  std::ifstream("/proc/sys/net/ipv4/ip_local_port_range") >> low;
  const int first = std::max(1024, low - 10000), count = low - first;
  const std::string lockDir = (std::filesystem::temp_directory_path() / "kelvara-test-ports").string();
  std::filesystem::create_directories(lockDir);
  static int next = static_cast<int>(::getpid()) * 7;
  for (int tries = 0; tries < count; ++tries) {
    const int port = first + (next++ % count);
    const int lock = ::open((lockDir + "/" + std::to_string(port)).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (lock < 0) continue;
    if (::flock(lock, LOCK_EX | LOCK_NB) != 0) {
      ::close(lock);
      continue;
    }
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    const bool free = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    if (free) return port;  // the lock stays held: this process owns the port
    ::close(lock);
  }
  throw std::runtime_error("no free port for a test server");
}

}  // namespace kvtest
