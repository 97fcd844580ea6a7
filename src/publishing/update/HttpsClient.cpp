#include "publishing/update/HttpsClient.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "core/CurlLibrary.h"
#include "core/TransferProgress.h"

namespace kv {

namespace {

constexpr long TimeoutMs = 15000;
constexpr long StallSeconds = 15;  // no byte for this long ends the request
constexpr long MaxRedirects = 10;

size_t OnWrite(char* data, size_t size, size_t count, void* client) {
  return static_cast<THttpsClient*>(client)->Write(data, size * count);
}

int OnProgress(void* client, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t, curl_off_t) {
  return static_cast<THttpsClient*>(client)->Progress(dlTotal, dlNow) ? 0 : 1;
}

}  // namespace

THttpsClient::THttpsClient(const std::atomic<bool>& terminate) : terminate_(terminate) {}

THttpsClient::~THttpsClient() { Close(); }

void THttpsClient::Close() {
  if (curl_) lib_->easy_cleanup(curl_);
  curl_ = nullptr;
}

std::string THttpsClient::GetText(const std::string& address, size_t limit) {
  std::string body;
  text_ = &body;
  fd_ = -1;
  showProgress_ = false;
  Perform(address, static_cast<int64_t>(limit));
  return body;
}

void THttpsClient::GetFile(const std::string& address, int fd, int64_t limit) {
  text_ = nullptr;
  fd_ = fd;
  showProgress_ = true;
  tTransferProgress& progress = TransferProgress();
  progress.total = 0;
  progress.done = 0;
  progress.transferring = true;
  try {
    Perform(address, limit);
  } catch (...) {
    progress.transferring = false;
    NotifyTransferProgress();
    throw;
  }
  progress.transferring = false;
  NotifyTransferProgress();
}

void THttpsClient::Perform(const std::string& address, int64_t limit) {
  if (!lib_) lib_ = &CurlLibrary();  // the first request loads libcurl
  if (!curl_) curl_ = lib_->easy_init();
  if (!curl_) throw HttpsError("Cannot create the HTTP client");
  CURL* c = curl_;
  lib_->easy_reset(c);  // keeps the open connection, forgets the last request's options
  limit_ = limit;
  received_ = 0;
  overLimit_ = writeFailed_ = false;
  error_[0] = '\0';
  lib_->Set(c, CURLOPT_URL, address.c_str());
  // Plain http is never spoken, neither at the first address nor after a redirect.
  lib_->Set(c, CURLOPT_PROTOCOLS_STR, "https");
  lib_->Set(c, CURLOPT_REDIR_PROTOCOLS_STR, "https");
  lib_->Set(c, CURLOPT_FOLLOWLOCATION, 1L);
  lib_->Set(c, CURLOPT_MAXREDIRS, MaxRedirects);
  lib_->Set(c, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
  lib_->Set(c, CURLOPT_SSL_VERIFYPEER, 1L);
  lib_->Set(c, CURLOPT_SSL_VERIFYHOST, 2L);
  const std::string& trust = options_.caFile;
  if (!trust.empty()) {
    lib_->Set(c, CURLOPT_CAINFO, trust.c_str());
    lib_->Set(c, CURLOPT_CAPATH, nullptr);
  }
  lib_->Set(c, CURLOPT_NOSIGNAL, 1L);
  lib_->Set(c, CURLOPT_CONNECTTIMEOUT_MS, TimeoutMs);
  lib_->Set(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  lib_->Set(c, CURLOPT_LOW_SPEED_TIME, StallSeconds);
  lib_->Set(c, CURLOPT_ERRORBUFFER, error_);
  lib_->Set(c, CURLOPT_USERAGENT, options_.userAgent.c_str());
  lib_->Set(c, CURLOPT_WRITEFUNCTION, OnWrite);
  lib_->Set(c, CURLOPT_WRITEDATA, this);
  lib_->Set(c, CURLOPT_NOPROGRESS, 0L);
  lib_->Set(c, CURLOPT_XFERINFOFUNCTION, OnProgress);
  lib_->Set(c, CURLOPT_XFERINFODATA, this);
  lib_->Set(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limit));
  // An empty proxy also overrides http_proxy and friends from the environment.
  const std::string proxy = options_.proxyHost.empty()
                                ? std::string()
                                : "http://" + options_.proxyHost + ":" + std::to_string(options_.proxyPort);
  lib_->Set(c, CURLOPT_PROXY, proxy.c_str());
  if (!proxy.empty() && options_.proxyAuth) {
    lib_->Set(c, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
    lib_->Set(c, CURLOPT_PROXYUSERNAME, options_.proxyUser.c_str());
    lib_->Set(c, CURLOPT_PROXYPASSWORD, options_.proxyPassword.c_str());
  }

  const CURLcode result = lib_->easy_perform(c);
  if (overLimit_ || result == CURLE_FILESIZE_EXCEEDED)
    throw HttpsError("Reply larger than " + std::to_string(limit) + " bytes refused");
  if (writeFailed_) throw HttpsError("Cannot write the downloaded file");
  if (result == CURLE_ABORTED_BY_CALLBACK && terminate_) throw HttpsError("Aborted");
  if (result != CURLE_OK) {
    std::string message = error_[0] ? error_ : lib_->easy_strerror(result);
    if (result == CURLE_UNSUPPORTED_PROTOCOL) message += " (only https is followed)";
    throw HttpsError(message);
  }
  long status = 0;
  lib_->easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  if (status < 200 || status >= 300) throw HttpsError("HTTP/1.1 " + std::to_string(status));
}

size_t THttpsClient::Write(const char* data, size_t size) {
  if (received_ + static_cast<int64_t>(size) > limit_) {
    overLimit_ = true;
    return 0;
  }
  received_ += static_cast<int64_t>(size);
  if (text_) {
    text_->append(data, size);
    return size;
  }
  size_t written = 0;
  while (written < size) {
    const ssize_t n = ::write(fd_, data + written, size - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      writeFailed_ = true;
      return 0;
    }
    written += static_cast<size_t>(n);
  }
  return size;
}

bool THttpsClient::Progress(int64_t dlTotal, int64_t dlNow) {
  if (terminate_) return false;
  if (showProgress_) {
    tTransferProgress& progress = TransferProgress();
    const bool moved = progress.done.exchange(dlNow) != dlNow;
    const bool sized = progress.total.exchange(dlTotal) != dlTotal;
    if (moved || sized) NotifyTransferProgress();
  }
  return true;
}

}  // namespace kv
