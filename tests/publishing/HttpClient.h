#pragma once
// A libcurl client for the HTTP server tests: one request, the raw target sent as given.
#include <map>
#include <string>
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
};

HttpAnswer Fetch(int port, const HttpRequest& request);
inline HttpAnswer Get(int port, const std::string& target) { return Fetch(port, {"GET", target, {}}); }

}  // namespace kvtest
