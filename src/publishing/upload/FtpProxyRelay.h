#pragma once
// The login at an FTP proxy that libcurl cannot send itself (USER/PASS at the proxy, SITE,
// OPEN). The relay connects to the proxy, sends those commands, and then offers libcurl a
// loopback port through which it talks to the proxy as if to the server: a greeting, then
// every byte passed on unchanged. Data connections do not pass through it.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace kv {

class TFtpProxyRelay {
 public:
  // Connects and logs in; throws std::runtime_error with the proxy's answer on failure.
  TFtpProxyRelay(const std::string& proxyHost, int proxyPort,
                 const std::vector<std::string>& commands, const std::atomic<bool>& terminate,
                 bool logProtocol);
  ~TFtpProxyRelay();
  TFtpProxyRelay(const TFtpProxyRelay&) = delete;
  TFtpProxyRelay& operator=(const TFtpProxyRelay&) = delete;

  int Port() const { return listenPort_; }
  // The local address of the connection to the proxy: where the proxy can reach us for an
  // active-mode data connection.
  const std::string& LocalAddress() const { return localAddress_; }

 private:
  void Pipe();
  int upstream_ = -1;
  int listener_ = -1;
  int listenPort_ = 0;
  std::string localAddress_;
  const std::atomic<bool>& terminate_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// The commands the relay sends for a proxy mode before libcurl logs in, and the user name and
// password libcurl then sends. Empty commands: libcurl talks to the proxy directly.
struct tProxyLogin {
  std::vector<std::string> relayCommands;
  std::string user, password;
};
tProxyLogin ProxyLogin(int proxyType, const std::string& host, int port, const std::string& user,
                       const std::string& password, const std::string& proxyUser,
                       const std::string& proxyPassword);

}  // namespace kv
