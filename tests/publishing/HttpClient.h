#pragma once
// Clients for the HTTP server tests: libcurl for one request with the raw target sent as
// given, and a plain socket for what curl will not send (endless heads, drips, pipelines).
#include <chrono>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace kvtest {

struct HttpAnswer {
  long status = 0;            // 0: no HTTP answer (refused, TLS failed, timed out)
  std::string error;          // curl's text when status is 0
  std::map<std::string, std::string> headers;  // lower-case names
  std::string body;
};

struct HttpRequest {
  std::string method = "GET";  // GET, HEAD or POST (body "x=1")
  std::string target = "/";    // sent exactly, dot segments included
  std::vector<std::string> headers;
  bool https = false;
  long maxTls = 0;  // a CURL_SSLVERSION_MAX_* value, 0 for curl's default
  std::string host = "127.0.0.1";  // an IPv6 address in brackets
};

// method: GET, HEAD, POST or any other sent as is.
HttpAnswer Fetch(int port, const HttpRequest& request);
inline HttpAnswer Get(int port, const std::string& target) { return Fetch(port, {"GET", target, {}}); }

// A loopback connection that notes everything the server sends while it is used.
class RawClient {
 public:
  explicit RawClient(int port);
  ~RawClient();
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool Connected() const { return fd_ >= 0; }
  // Sends all of data unless the server closes first or takes nothing for timeout.
  bool Send(std::string_view data, std::chrono::milliseconds timeout = std::chrono::seconds(2));
  // Reads until the server closes, or until nothing has come for quiet.
  void Read(std::chrono::milliseconds quiet);
  // Reads until the server closes (true) or timeout passes (false).
  bool ClosedWithin(std::chrono::milliseconds timeout);

  std::string received;
  bool closed = false;  // end of stream or reset

 private:
  bool Pump(short events, std::chrono::milliseconds timeout);
  int fd_ = -1;
};

// How many answers, by their status lines, a stream holds.
int CountAnswers(const std::string& stream);

}  // namespace kvtest
