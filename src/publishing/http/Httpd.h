#pragma once
// The boundary to the HTTP(S) server module (libmicrohttpd with GnuTLS). The module is loaded
// only when the server is switched on: the TLS libraries cost megabytes of memory just by being
// loaded, which a monitor that does not serve should not pay. Both sides are built together, so
// C++ types cross it; nothing here may need either library.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kv {

// Valid for the handler's call only.
struct tHttpdRequest {
  std::string_view method;
  std::string_view target;  // the path as sent, query cut off, not decoded
  std::string_view range;   // the Range header, empty when there is none
  std::string_view authorization;  // the Authorization header, empty when there is none
  std::string_view peer;    // the client's address, for the log
};

// An open file; closed by whichever side drops it last, or handed over with Release.
struct tHttpdFile {
  int fd = -1;
  explicit tHttpdFile(int f) : fd(f) {}
  tHttpdFile(const tHttpdFile&) = delete;
  tHttpdFile& operator=(const tHttpdFile&) = delete;
  ~tHttpdFile() {
    if (fd >= 0) ::close(fd);
  }
  int Release() { return std::exchange(fd, -1); }
};

struct tHttpdAnswer {
  int status = -1;
  std::string contentType = "text/plain";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  // Instead of body: length bytes from first on, of an open file (read as the client takes
  // them) or of bytes many answers share (a picture as saved, the text of the last pass).
  std::shared_ptr<tHttpdFile> file;
  std::shared_ptr<const std::string> shared;
  uint64_t first = 0, length = 0;
};

using tHttpdHandler = std::function<void(const tHttpdRequest&, tHttpdAnswer&)>;

// What one client may cost. A connection waits for a request head from its start and after
// each answer; whatever has not arrived complete by the head deadline is cut off. Beyond the
// connection cap the connection that has waited longest for its head makes room.
struct tHttpdLimits {
  unsigned connections = 512;
  unsigned headSeconds = 5;
  unsigned idleSeconds = 10;          // nothing moving either way, in any phase
  size_t connectionMemory = 32 * 1024;  // request head and answer head together
  unsigned threads = 2;               // event loops, not threads per connection
};

struct tHttpdOptions {
  std::string bind;  // a numeric IPv4 or IPv6 address to listen on; empty: every IPv4 interface
  int port = 0;
  std::string pem;  // key and certificate chain, the text of one PEM file: HTTPS when set
  tHttpdHandler handler;
  tHttpdLimits limits;
};

struct tHttpdStart {
  bool listening = false;
  int bindError = 0;  // the errno of a refused address or port
  std::string error;  // any other failure, in words
};

class IHttpd {
 public:
  virtual ~IHttpd() = default;
  // Listens on the bind address (all interfaces without one) and answers every GET, HEAD and POST through the handler from
  // its head alone (a body is never read), until Stop.
  virtual tHttpdStart Start(const tHttpdOptions& options) = 0;
  // Closes the port and every connection; returns at once, whatever the clients do.
  virtual void Stop() = 0;
  virtual bool Running() const = 0;
};

// The module's one exported function: a new server, not yet listening.
using tNewHttpd = IHttpd* (*)();
inline constexpr const char* NewHttpdSymbol = "KvNewHttpd";
inline constexpr const char* HttpdModuleName = "kelvara-httpd.so";

}  // namespace kv
