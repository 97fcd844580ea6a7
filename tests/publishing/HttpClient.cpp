#include "publishing/HttpClient.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "core/CurlLibrary.h"

namespace kvtest {

namespace {

size_t Collect(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

size_t Header(char* data, size_t size, size_t count, void* target) {
  std::string line(data, size * count);
  const size_t colon = line.find(':');
  if (colon != std::string::npos) {
    std::string name = line.substr(0, colon);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    std::string value = line.substr(colon + 1);
    value.erase(0, value.find_first_not_of(' '));
    while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) value.pop_back();
    (*static_cast<std::map<std::string, std::string>*>(target))[name] = value;
  }
  return size * count;
}

}  // namespace

HttpAnswer Fetch(int port, const HttpRequest& r) {
  HttpAnswer a;
  // Through the product's loader, so the suite itself does not link libcurl.
  const kv::tCurlLibrary& lib = kv::CurlLibrary();
  CURL* curl = lib.easy_init();
  const std::string url = std::string(r.https ? "https" : "http") + "://" + r.host + ":" + std::to_string(port) + "/";
  lib.Set(curl, CURLOPT_URL, url.c_str());
  lib.Set(curl, CURLOPT_REQUEST_TARGET, r.target.c_str());
  lib.Set(curl, CURLOPT_PATH_AS_IS, 1L);
  lib.Set(curl, CURLOPT_TIMEOUT, 20L);
  lib.Set(curl, CURLOPT_NOSIGNAL, 1L);
  lib.Set(curl, CURLOPT_WRITEFUNCTION, Collect);
  lib.Set(curl, CURLOPT_WRITEDATA, &a.body);
  lib.Set(curl, CURLOPT_HEADERFUNCTION, Header);
  lib.Set(curl, CURLOPT_HEADERDATA, &a.headers);
  lib.Set(curl, CURLOPT_SSL_VERIFYPEER, 0L);
  lib.Set(curl, CURLOPT_SSL_VERIFYHOST, 0L);
  if (r.maxTls) lib.Set(curl, CURLOPT_SSLVERSION, r.maxTls);
  if (r.method == "HEAD") lib.Set(curl, CURLOPT_NOBODY, 1L);
  if (r.method == "POST") lib.Set(curl, CURLOPT_POSTFIELDS, "x=1");
  if (r.method != "GET" && r.method != "HEAD" && r.method != "POST")
    lib.Set(curl, CURLOPT_CUSTOMREQUEST, r.method.c_str());
  curl_slist* list = nullptr;
  for (const std::string& h : r.headers) list = lib.slist_append(list, h.c_str());
  if (list) lib.Set(curl, CURLOPT_HTTPHEADER, list);
  const CURLcode rc = lib.easy_perform(curl);
  if (rc == CURLE_OK) lib.easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &a.status);
  else a.error = lib.easy_strerror(rc);
  lib.slist_free_all(list);
  lib.easy_cleanup(curl);
  return a;
}

RawClient::RawClient(int port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

RawClient::~RawClient() {
  if (fd_ >= 0) ::close(fd_);
}

// One wait for events; takes in whatever arrived. False when the wait ran out.
bool RawClient::Pump(short events, std::chrono::milliseconds timeout) {
  pollfd p{fd_, static_cast<short>(events | POLLIN), 0};
  if (fd_ < 0 || closed || ::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
  if (p.revents & (POLLIN | POLLERR | POLLHUP)) {
    char buf[65536];
    const ssize_t n = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
    if (n > 0) received.append(buf, static_cast<size_t>(n));
    else if (n == 0 || (errno != EAGAIN && errno != EINTR)) closed = true;
  }
  return true;
}

bool RawClient::Send(std::string_view data, std::chrono::milliseconds timeout) {
  while (!data.empty() && !closed) {
    if (!Pump(POLLOUT, timeout)) return false;
    const ssize_t n = ::send(fd_, data.data(), data.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n > 0) data.remove_prefix(static_cast<size_t>(n));
    // Hung up on: what it answered before is still to be read.
    else if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
  }
  return data.empty();
}

void RawClient::Read(std::chrono::milliseconds quiet) {
  while (Pump(0, quiet) && !closed) {
  }
}

bool RawClient::ClosedWithin(std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!closed && std::chrono::steady_clock::now() < end)
    Pump(0, std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()));
  return closed;
}

int CountAnswers(const std::string& stream) {
  int n = 0;
  for (size_t at = stream.find("HTTP/1.1 "); at != std::string::npos; at = stream.find("HTTP/1.1 ", at + 1)) ++n;
  return n;
}

}  // namespace kvtest
