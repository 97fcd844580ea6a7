#include "publishing/upload/FtpProxyRelay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

#include "core/EventLog.h"

namespace kv {

namespace {

constexpr int TimeoutMs = 15000;
constexpr size_t MaxReply = 8192;

using SteadyClock = std::chrono::steady_clock;

int MsLeft(SteadyClock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits for the socket in slices, so a terminate request is noticed within 200 ms.
bool WaitFor(int fd, short events, SteadyClock::time_point deadline, const std::atomic<bool>& terminate) {
  for (;;) {
    if (terminate) throw std::runtime_error("Terminated");
    const int left = MsLeft(deadline);
    if (left == 0) return false;
    pollfd p{fd, events, 0};
    const int r = ::poll(&p, 1, left < 200 ? left : 200);
    if (r > 0) return true;
    if (r < 0 && errno != EINTR) return false;
  }
}

int ConnectTo(const std::string& host, int port, const std::atomic<bool>& terminate) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list) != 0 || !list)
    throw std::runtime_error("Cannot resolve proxy " + host);
  std::string error = "Cannot connect to proxy " + host + ":" + std::to_string(port);
  for (addrinfo* a = list; a; a = a->ai_next) {
    const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) continue;
    if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0 ||
        (errno == EINPROGRESS && WaitFor(fd, POLLOUT, SteadyClock::now() + std::chrono::milliseconds(TimeoutMs), terminate))) {
      int soError = 0;
      socklen_t len = sizeof soError;
      if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) == 0 && soError == 0) {
        ::freeaddrinfo(list);
        return fd;
      }
    }
    ::close(fd);
  }
  ::freeaddrinfo(list);
  throw std::runtime_error(error);
}

void SendAll(int fd, const std::string& data, const std::atomic<bool>& terminate) {
  size_t sent = 0;
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(TimeoutMs);
  while (sent < data.size()) {
    const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      if (!WaitFor(fd, POLLOUT, deadline, terminate)) throw std::runtime_error("Proxy send timed out");
    } else {
      throw std::runtime_error("Proxy connection lost");
    }
  }
}

// One whole reply, multi-line ones included; the last line's text is returned.
std::string ReadReply(int fd, std::string& buffer, const std::atomic<bool>& terminate) {
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(TimeoutMs);
  size_t replyStart = 0;
  for (;;) {
    size_t eol;
    while ((eol = buffer.find('\n', replyStart)) != std::string::npos) {
      std::string line = buffer.substr(replyStart, eol - replyStart);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      replyStart = eol + 1;
      if (line.size() >= 3 && isdigit(static_cast<unsigned char>(line[0])) &&
          (line.size() == 3 || line[3] == ' ')) {
        buffer.erase(0, replyStart);
        return line;
      }
    }
    if (buffer.size() > MaxReply) throw std::runtime_error("Proxy reply too long");
    if (!WaitFor(fd, POLLIN, deadline, terminate)) throw std::runtime_error("Proxy reply timed out");
    char chunk[1024];
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n == 0) throw std::runtime_error("Proxy closed the connection");
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      throw std::runtime_error("Proxy connection lost");
    }
    buffer.append(chunk, static_cast<size_t>(n));
  }
}

}  // namespace

tProxyLogin ProxyLogin(int proxyType, const std::string& host, int port, const std::string& user,
                       const std::string& password, const std::string& proxyUser,
                       const std::string& proxyPassword) {
  const std::string site = port == 21 ? host : host + ":" + std::to_string(port);
  std::vector<std::string> atProxy;
  if (!proxyUser.empty()) atProxy = {"USER " + proxyUser, "PASS " + proxyPassword};
  switch (proxyType) {
    case 1: return {atProxy, user + "@" + site, password};
    case 2: atProxy.push_back("SITE " + site); return {atProxy, user, password};
    case 3: atProxy.push_back("OPEN " + site); return {atProxy, user, password};
    case 4: return {{}, user + "@" + proxyUser + "@" + site, password + "@" + proxyPassword};
    case 5: return {atProxy, user, password};
    default: return {{}, user, password};
  }
}

TFtpProxyRelay::TFtpProxyRelay(const std::string& proxyHost, int proxyPort,
                               const std::vector<std::string>& commands,
                               const std::atomic<bool>& terminate, bool logProtocol)
    : terminate_(terminate) {
  upstream_ = ConnectTo(proxyHost, proxyPort, terminate);
  try {
    std::string buffer;
    auto reply = [&] {
      std::string line = ReadReply(upstream_, buffer, terminate);
      if (logProtocol) LogProtocol(tProtocolDirection::Received, line);
      return line;
    };
    std::string answer = reply();
    if (answer[0] != '2') throw std::runtime_error("Proxy refused: " + answer);
    bool loggedIn = false;
    for (const std::string& command : commands) {
      if (loggedIn && command.starts_with("PASS ")) continue;
      if (logProtocol) LogProtocol(tProtocolDirection::Sent, command);
      SendAll(upstream_, command + "\r\n", terminate);
      answer = reply();
      const bool user = command.starts_with("USER ");
      loggedIn = user && answer.starts_with("230");
      const bool good = answer[0] == '2' || (user && answer.starts_with("331"));
      if (!good) throw std::runtime_error("Proxy refused: " + answer);
    }
    sockaddr_storage local{};
    socklen_t len = sizeof local;
    char text[INET6_ADDRSTRLEN] = {};
    if (::getsockname(upstream_, reinterpret_cast<sockaddr*>(&local), &len) == 0) {
      if (local.ss_family == AF_INET)
        ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&local)->sin_addr, text, sizeof text);
      else
        ::inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&local)->sin6_addr, text, sizeof text);
    }
    localAddress_ = text;

    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t alen = sizeof addr;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener_, 1) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &alen) != 0)
      throw std::runtime_error("Cannot open the proxy relay");
    listenPort_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] {
      try {
        Pipe();
      } catch (...) {
      }
    });
  } catch (...) {
    ::close(upstream_);
    if (listener_ >= 0) ::close(listener_);
    throw;
  }
}

TFtpProxyRelay::~TFtpProxyRelay() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) ::close(listener_);
  if (upstream_ >= 0) ::close(upstream_);
}

void TFtpProxyRelay::Pipe() {
  // Only the one connection libcurl makes; then the listener is of no further use.
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(TimeoutMs);
  int client = -1;
  while (client < 0) {
    if (stop_ || terminate_ || MsLeft(deadline) == 0) return;
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, 200) > 0) client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  }
  const std::atomic<bool> never{false};
  try {
    SendAll(client, "220 Logged in at the proxy\r\n", never);
    pollfd fds[2] = {{client, POLLIN, 0}, {upstream_, POLLIN, 0}};
    char chunk[16384];
    while (!stop_) {
      const int r = ::poll(fds, 2, 200);
      if (r < 0 && errno != EINTR) break;
      if (r <= 0) continue;
      bool closed = false;
      for (int i = 0; i < 2; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const ssize_t n = ::recv(fds[i].fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
          closed = true;
          break;
        }
        SendAll(fds[1 - i].fd, std::string(chunk, static_cast<size_t>(n)), never);
      }
      if (closed) break;
    }
  } catch (...) {
  }
  ::shutdown(upstream_, SHUT_RDWR);
  ::close(client);
}

}  // namespace kv
