#pragma once
// One FTP connection through libcurl: log in (optionally over TLS, optionally through an FTP
// proxy), change directories relative to the current one, store files. Lives on the upload
// thread; only the terminate flag is touched from outside.
#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

typedef void CURL;
struct curl_slist;

namespace kv {

struct tCurlLibrary;

class TFtpProxyRelay;

struct tFtpOptions {
  std::string host, user, password;
  int port = 21;
  bool passive = true, passiveUseControlHost = true, natFastTrack = false;
  int useTLS = 1;  // 0 none, 1 explicit when offered, 2 implicit, 3 explicit required
  bool useCCC = false, verifyTLS = true;
  int proxyType = 0;  // 1 user@site, 2 SITE, 3 OPEN, 4 user/password at the proxy, 5 transparent
  std::string proxyHost, proxyUser, proxyPassword;
  int proxyPort = 1080;
};

// The message of a failed step, as libcurl or the server put it.
class FtpError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TFtpClient {
 public:
  explicit TFtpClient(const std::atomic<bool>& terminate);
  ~TFtpClient();
  TFtpClient(const TFtpClient&) = delete;
  TFtpClient& operator=(const TFtpClient&) = delete;

  void SetOptions(const tFtpOptions& options) { options_ = options; }
  void SetProtocolLogging(bool on) { logProtocol_ = on; }
  // Logs in; throws FtpError.
  void Connect();
  bool Connected() const { return connected_; }
  // The server refused AUTH TLS and the session went on in clear.
  bool TlsRefused() const { return tlsRefused_; }
  // Relative to the current remote directory, or absolute.
  void ChangeDir(const std::string& dir);
  const std::string& RemoteDir() const { return remoteDir_; }
  // Stores the local file under remoteName in the current remote directory (overwriting).
  void Store(const std::string& localPath, const std::string& remoteName);
  // Ends the session (QUIT when it is still open).
  void Disconnect();

  // Called on the upload thread when the byte count moved.
  std::function<void()> progressChanged;

  // For the libcurl callbacks.
  void Trace(int type, const char* data, size_t size);
  bool Progress(int64_t ulTotal, int64_t ulNow);

 private:
  void Prepare(const std::string& path);
  void Perform();
  std::string DirUrl(const std::string& dir) const;

  const std::atomic<bool>& terminate_;
  tFtpOptions options_;
  const tCurlLibrary* lib_ = nullptr;  // set by the first Connect
  CURL* curl_ = nullptr;
  std::unique_ptr<TFtpProxyRelay> relay_;
  std::string base_;        // scheme://host:port
  std::string connectTo_;   // a proxy relay's address for libcurl's connection
  curl_slist* connectTo_list_ = nullptr;
  std::string remoteDir_;
  bool connected_ = false;
  bool logProtocol_ = false;
  bool tlsRefused_ = false;
  bool authSent_ = false;
  bool uploading_ = false;
  std::string partial_[2];  // unfinished protocol lines, received and sent
  char error_[256] = {};
};

// The URL-escaped form of one path piece: everything but unreserved characters.
std::string EscapeUrlPath(const std::string& piece);
// dir joined to base ("img" under "/www" is "/www/img"; an absolute dir stands alone).
std::string JoinRemoteDir(const std::string& base, const std::string& dir);

}  // namespace kv
