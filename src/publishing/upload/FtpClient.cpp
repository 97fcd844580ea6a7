#include "publishing/upload/FtpClient.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "core/CurlLibrary.h"
#include "core/EventLog.h"
#include "core/TransferProgress.h"
#include "publishing/upload/FtpProxyRelay.h"

namespace kv {

namespace {

constexpr long TimeoutSeconds = 15;

int OnTrace(CURL*, curl_infotype type, char* data, size_t size, void* client) {
  static_cast<TFtpClient*>(client)->Trace(static_cast<int>(type), data, size);
  return 0;
}

int OnProgress(void* client, curl_off_t, curl_off_t, curl_off_t ulTotal, curl_off_t ulNow) {
  return static_cast<TFtpClient*>(client)->Progress(ulTotal, ulNow) ? 0 : 1;
}

std::string HostForUrl(const std::string& host) {
  return host.find(':') != std::string::npos && !host.starts_with('[') ? "[" + host + "]" : host;
}

}  // namespace

std::string EscapeUrlPath(const std::string& piece) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : piece) {
    if (isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string JoinRemoteDir(const std::string& base, const std::string& dir) {
  std::string joined = dir.starts_with('/') ? dir : (base.ends_with('/') ? base : base + "/") + dir;
  while (joined.size() > 1 && joined.ends_with('/')) joined.pop_back();
  return joined;
}

TFtpClient::TFtpClient(const std::atomic<bool>& terminate) : terminate_(terminate) {}

TFtpClient::~TFtpClient() { Disconnect(); }

std::string TFtpClient::DirUrl(const std::string& dir) const {
  // "%2F" makes the path absolute; libcurl then sends one CWD with the whole path.
  std::string url = base_ + "/%2F";
  size_t start = 1;
  while (start < dir.size()) {
    size_t end = dir.find('/', start);
    if (end == std::string::npos) end = dir.size();
    if (end > start) url += EscapeUrlPath(dir.substr(start, end - start)) + "/";
    start = end + 1;
  }
  return url;
}

void TFtpClient::Connect() {
  Disconnect();
  lib_ = &CurlLibrary();  // the first connection loads libcurl
  tlsRefused_ = authSent_ = false;
  partial_[0].clear();
  partial_[1].clear();
  const tFtpOptions& o = options_;
  const bool viaProxy = o.proxyType >= 1 && o.proxyType <= 5;
  const tProxyLogin login = ProxyLogin(viaProxy ? o.proxyType : 0, o.host, o.port, o.user,
                                       o.password, o.proxyUser, o.proxyPassword);
  const std::string scheme = o.useTLS == 2 ? "ftps://" : "ftp://";
  connectTo_.clear();
  if (viaProxy) {
    base_ = scheme + HostForUrl(o.proxyHost) + ":" + std::to_string(o.proxyPort);
    if (!login.relayCommands.empty()) {
      if (o.useTLS == 2) throw FtpError("Implicit TLS cannot pass an FTP proxy's login");
      relay_ = std::make_unique<TFtpProxyRelay>(o.proxyHost, o.proxyPort, login.relayCommands,
                                                terminate_, logProtocol_);
      connectTo_ = HostForUrl(o.proxyHost) + ":" + std::to_string(o.proxyPort) + ":127.0.0.1:" +
                   std::to_string(relay_->Port());
    }
  } else {
    base_ = scheme + HostForUrl(o.host) + ":" + std::to_string(o.port);
  }

  curl_ = lib_->easy_init();
  if (!curl_) throw FtpError("Cannot create the FTP client");
  CURL* c = curl_;
  lib_->Set(c, CURLOPT_PROTOCOLS_STR, "ftp,ftps");
  lib_->Set(c, CURLOPT_NOSIGNAL, 1L);
  lib_->Set(c, CURLOPT_ERRORBUFFER, error_);
  lib_->Set(c, CURLOPT_VERBOSE, 1L);  // the trace also tells whether TLS was refused
  lib_->Set(c, CURLOPT_DEBUGFUNCTION, OnTrace);
  lib_->Set(c, CURLOPT_DEBUGDATA, this);
  lib_->Set(c, CURLOPT_NOPROGRESS, 0L);
  lib_->Set(c, CURLOPT_XFERINFOFUNCTION, OnProgress);
  lib_->Set(c, CURLOPT_XFERINFODATA, this);
  lib_->Set(c, CURLOPT_USERNAME, login.user.c_str());
  lib_->Set(c, CURLOPT_PASSWORD, login.password.c_str());
  lib_->Set(c, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
  lib_->Set(c, CURLOPT_TRANSFERTEXT, 0L);  // TYPE I
  // Behind a relay the control connection's address is ours, so a passive data connection
  // must go where the proxy says, and an active one must name the address the proxy sees.
  const bool relayed = relay_ != nullptr;
  if (o.passive) {
    lib_->Set(c, CURLOPT_FTPPORT, nullptr);
  } else {
    lib_->Set(c, CURLOPT_FTPPORT, relayed ? relay_->LocalAddress().c_str() : "-");
  }
  lib_->Set(c, CURLOPT_FTP_USE_EPSV, o.natFastTrack && !relayed ? 1L : 0L);
  lib_->Set(c, CURLOPT_FTP_SKIP_PASV_IP, o.passiveUseControlHost && !relayed ? 1L : 0L);
  long ssl = CURLUSESSL_NONE;
  if (o.useTLS == 1) ssl = CURLUSESSL_TRY;
  if (o.useTLS == 2 || o.useTLS == 3) ssl = CURLUSESSL_ALL;
  lib_->Set(c, CURLOPT_USE_SSL, ssl);  // with TLS libcurl asks for a private data channel
  lib_->Set(c, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
  lib_->Set(c, CURLOPT_FTP_SSL_CCC,
                   static_cast<long>(ssl != CURLUSESSL_NONE && o.useCCC ? CURLFTPSSL_CCC_ACTIVE
                                                                         : CURLFTPSSL_CCC_NONE));
  lib_->Set(c, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
  lib_->Set(c, CURLOPT_SSL_VERIFYPEER, o.verifyTLS ? 1L : 0L);
  lib_->Set(c, CURLOPT_SSL_VERIFYHOST, o.verifyTLS ? 2L : 0L);
  lib_->Set(c, CURLOPT_CONNECTTIMEOUT, TimeoutSeconds);
  lib_->Set(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, TimeoutSeconds);
  lib_->Set(c, CURLOPT_ACCEPTTIMEOUT_MS, TimeoutSeconds * 1000);
  lib_->Set(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  lib_->Set(c, CURLOPT_LOW_SPEED_TIME, TimeoutSeconds);
  // Kept for the whole session: libcurl reuses a connection only while it stays the same, and
  // any new one must meet the relay again, which takes no second connection.
  if (!connectTo_.empty()) connectTo_list_ = lib_->slist_append(nullptr, connectTo_.c_str());
  lib_->Set(c, CURLOPT_CONNECT_TO, connectTo_list_);

  Prepare(base_ + "/");
  try {
    Perform();
  } catch (...) {
    Disconnect();
    throw;
  }
  char* entry = nullptr;
  lib_->easy_getinfo(c, CURLINFO_FTP_ENTRY_PATH, &entry);
  remoteDir_ = entry && *entry == '/' ? JoinRemoteDir("/", entry) : "/";
  connected_ = true;
  if (o.useTLS == 1 && tlsRefused_) LogEvent("Continuing without TLS");
}

void TFtpClient::Prepare(const std::string& url) {
  lib_->Set(curl_, CURLOPT_URL, url.c_str());
  lib_->Set(curl_, CURLOPT_UPLOAD, 0L);
  lib_->Set(curl_, CURLOPT_NOBODY, 1L);
}

void TFtpClient::Perform() {
  error_[0] = '\0';
  const CURLcode rc = lib_->easy_perform(curl_);
  if (rc == CURLE_OK) return;
  if (terminate_) throw FtpError("Terminated");
  const std::string message = error_[0] ? error_ : lib_->easy_strerror(rc);
  throw FtpError(message);
}

void TFtpClient::ChangeDir(const std::string& dir) {
  if (!curl_) throw FtpError("Not connected");
  const std::string target = JoinRemoteDir(remoteDir_, dir);
  Prepare(DirUrl(target));
  Perform();
  remoteDir_ = target;
}

void TFtpClient::Store(const std::string& localPath, const std::string& remoteName) {
  if (!curl_) throw FtpError("Not connected");
  const int fd = ::open(localPath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  struct stat st{};
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (fd >= 0) ::close(fd);
    throw FtpError("Cannot open " + localPath);
  }
  FILE* file = ::fdopen(fd, "rb");
  if (!file) {
    ::close(fd);
    throw FtpError("Cannot open " + localPath);
  }
  tTransferProgress& progress = TransferProgress();
  progress.total = st.st_size;
  progress.done = 0;
  progress.transferring = true;
  uploading_ = true;
  Prepare(DirUrl(remoteDir_) + EscapeUrlPath(remoteName));
  lib_->Set(curl_, CURLOPT_NOBODY, 0L);
  lib_->Set(curl_, CURLOPT_UPLOAD, 1L);
  lib_->Set(curl_, CURLOPT_READDATA, file);
  lib_->Set(curl_, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(st.st_size));
  try {
    Perform();
  } catch (...) {
    uploading_ = false;
    progress.transferring = false;
    std::fclose(file);
    throw;
  }
  uploading_ = false;
  progress.transferring = false;
  std::fclose(file);
}

void TFtpClient::Disconnect() {
  if (curl_) {
    lib_->easy_cleanup(curl_);  // QUIT when the session is still open
    curl_ = nullptr;
  }
  if (connectTo_list_) lib_->slist_free_all(connectTo_list_);
  connectTo_list_ = nullptr;
  relay_.reset();
  connected_ = false;
}

void TFtpClient::Trace(int type, const char* data, size_t size) {
  if (type != CURLINFO_HEADER_IN && type != CURLINFO_HEADER_OUT) return;
  const bool sent = type == CURLINFO_HEADER_OUT;
  std::string& buffer = partial_[sent ? 1 : 0];
  buffer.append(data, size);
  size_t eol;
  while ((eol = buffer.find('\n')) != std::string::npos) {
    std::string line = buffer.substr(0, eol);
    buffer.erase(0, eol + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (sent && line.starts_with("AUTH ")) authSent_ = true;
    if (!sent && authSent_ && line.size() >= 4 && line[3] == ' ') {
      authSent_ = false;
      if (!line.starts_with("234")) tlsRefused_ = true;
    }
    if (logProtocol_)
      LogProtocol(sent ? tProtocolDirection::Sent : tProtocolDirection::Received, line);
  }
  if (buffer.size() > 4096) buffer.clear();  // no line is that long
}

bool TFtpClient::Progress(int64_t, int64_t ulNow) {
  if (terminate_) return false;
  if (uploading_) {
    tTransferProgress& progress = TransferProgress();
    if (progress.done.exchange(ulNow) != ulNow && progressChanged) progressChanged();
  }
  return true;
}

}  // namespace kv
