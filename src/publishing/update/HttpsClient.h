#pragma once
// The update check's HTTP client on libcurl: GET over https only (also after redirects), TLS 1.2
// or later with the certificate checked, the HTTP proxy with basic authentication, 15-second
// connect and stall limits, bounded replies and progress into the status panel. One per thread.
#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>

typedef void CURL;

namespace kv {

struct tCurlLibrary;

struct tHttpsOptions {
  std::string userAgent;
  std::string proxyHost;  // empty: no proxy (also none from the environment)
  int proxyPort = 1080;
  bool proxyAuth = false;
  std::string proxyUser, proxyPassword;
  std::string caFile;  // the certificate authorities trusted; empty: the system's
};

class HttpsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class THttpsClient {
 public:
  explicit THttpsClient(const std::atomic<bool>& terminate);
  ~THttpsClient();
  THttpsClient(const THttpsClient&) = delete;
  THttpsClient& operator=(const THttpsClient&) = delete;

  void SetOptions(const tHttpsOptions& options) { options_ = options; }
  // Drops the open connection; the next request connects anew.
  void Close();
  // The reply body; throws HttpsError (also for an error status and a body above limit).
  std::string GetText(const std::string& address, size_t limit);
  // Writes the body to fd with the status panel's progress; throws HttpsError.
  void GetFile(const std::string& address, int fd, int64_t limit);

  // For the libcurl callbacks.
  size_t Write(const char* data, size_t size);
  bool Progress(int64_t dlTotal, int64_t dlNow);

 private:
  void Perform(const std::string& address, int64_t limit);

  const std::atomic<bool>& terminate_;
  tHttpsOptions options_;
  const tCurlLibrary* lib_ = nullptr;  // set by the first request
  CURL* curl_ = nullptr;
  std::string* text_ = nullptr;
  int fd_ = -1;
  int64_t limit_ = 0, received_ = 0;
  bool overLimit_ = false, writeFailed_ = false, showProgress_ = false;
  char error_[256] = {};
};

}  // namespace kv
