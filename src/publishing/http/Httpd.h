#pragma once
// The boundary to the HTTP(S) server module (cpp-httplib with OpenSSL). The module is loaded
// only when the server is switched on: the TLS libraries cost megabytes of memory just by being
// loaded, which a monitor that does not serve should not pay. Both sides are built together, so
// C++ types cross it; nothing here may need either library.
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kv {

struct tHttpdRequest {
  std::string method, target;
  std::string range;  // the Range header, empty when there is none
};

// An open file; closed by whichever side drops the last reference.
struct tHttpdFile {
  int fd = -1;
  explicit tHttpdFile(int f) : fd(f) {}
  tHttpdFile(const tHttpdFile&) = delete;
  tHttpdFile& operator=(const tHttpdFile&) = delete;
  ~tHttpdFile() {
    if (fd >= 0) ::close(fd);
  }
};

struct tHttpdAnswer {
  int status = -1;
  std::string contentType = "text/plain";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  // When set, the body is length bytes of this file from first on, read as the client takes them.
  std::shared_ptr<tHttpdFile> file;
  uint64_t first = 0, length = 0;
};

using tHttpdHandler = std::function<void(const tHttpdRequest&, tHttpdAnswer&)>;

struct tHttpdOptions {
  int port = 0;
  std::string pem;  // key and certificate chain in one file: HTTPS when set
  tHttpdHandler handler;
};

struct tHttpdStart {
  bool listening = false;
  bool bindFailed = false;  // the port was refused; the caller finds out why
  std::string error;        // any other failure, in words
};

class IHttpd {
 public:
  virtual ~IHttpd() = default;
  // Listens on all interfaces and serves every GET, HEAD and POST through the handler, on
  // connection threads of its own, until Stop.
  virtual tHttpdStart Start(const tHttpdOptions& options) = 0;
  // Waits for the connection threads (each ends within its time-outs).
  virtual void Stop() = 0;
  virtual bool Running() const = 0;
};

// The module's one exported function: a new server, not yet listening.
using tNewHttpd = IHttpd* (*)();
inline constexpr const char* NewHttpdSymbol = "KvNewHttpd";
inline constexpr const char* HttpdModuleName = "kelvara-httpd.so";

}  // namespace kv
