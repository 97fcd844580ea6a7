#include "publishing/http/HttpServer.h"

#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <vector>

#include "core/EventLog.h"
#include "core/Text.h"
#include "core/UiPort.h"
#include "platform/DataFiles.h"
#include "publishing/http/HttpPages.h"
#include "publishing/http/RequestPath.h"
#include "settings/Settings.h"

namespace kv {

namespace {

// Connections served at once, and accepted connections waiting for a thread; beyond both the
// listener stops accepting and the kernel's backlog holds the rest.
constexpr size_t kConnectionThreads = 32;
constexpr size_t kWaitingConnections = 256;
constexpr time_t kReadTimeoutSeconds = 5;
constexpr time_t kWriteTimeoutSeconds = 5;
constexpr time_t kKeepAliveSeconds = 2;
constexpr size_t kKeepAliveRequests = 20;
constexpr size_t kPostBodyLimit = 64 * 1024;  // a POST body is read and ignored
constexpr size_t kListingEntryLimit = 20000;
constexpr size_t kChunk = 64 * 1024;

// The library's thread pool queues without limit; this one makes the listener wait instead.
class BoundedPool final : public httplib::TaskQueue {
 public:
  BoundedPool(size_t threads, size_t waiting) : waiting_(waiting) {
    for (size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
  }
  void enqueue(std::function<void()> fn) override {
    std::unique_lock lock(mutex_);
    room_.wait(lock, [&] { return jobs_.size() < waiting_; });
    jobs_.push_back(std::move(fn));
    work_.notify_one();
  }
  void shutdown() override {
    {
      std::lock_guard lock(mutex_);
      shutdown_ = true;
    }
    work_.notify_all();
    for (std::thread& t : threads_) t.join();
  }

 private:
  void Work() {
    for (;;) {
      std::function<void()> fn;
      {
        std::unique_lock lock(mutex_);
        work_.wait(lock, [&] { return shutdown_ || !jobs_.empty(); });
        if (jobs_.empty()) return;
        fn = std::move(jobs_.front());
        jobs_.pop_front();
      }
      room_.notify_one();
      fn();
    }
  }

  const size_t waiting_;
  std::mutex mutex_;
  std::condition_variable work_, room_;
  std::deque<std::function<void()>> jobs_;
  std::vector<std::thread> threads_;
  bool shutdown_ = false;
};

// The library listens with a backlog of 5, so a burst of reconnecting clients loses SYNs and
// waits seconds for their retransmission; its socket is reachable only from a subclass.
template <class Base>
struct WithSocket final : Base {
  using Base::Base;
  int Socket() const { return this->svr_sock_; }
};
using tPlainServer = WithSocket<httplib::Server>;
using tTlsServer = WithSocket<httplib::SSLServer>;
constexpr int kListenBacklog = 512;

struct FileHandle {
  int fd = -1;
  explicit FileHandle(int f) : fd(f) {}
  ~FileHandle() {
    if (fd >= 0) ::close(fd);
  }
};

std::string OpenSslError() {
  const unsigned long code = ERR_get_error();
  if (!code) return "unknown TLS error";
  char buf[256];
  ERR_error_string_n(code, buf, sizeof buf);
  ERR_clear_error();
  return buf;
}

bool SetUpTls(SSL_CTX& ctx, const std::string& pem, std::string& error) {
  // Key and certificate chain in one file; nothing older than TLS 1.2 is offered.
  if (SSL_CTX_set_min_proto_version(&ctx, TLS1_2_VERSION) != 1 ||
      SSL_CTX_use_certificate_chain_file(&ctx, pem.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(&ctx, pem.c_str(), SSL_FILETYPE_PEM) != 1 ||
      SSL_CTX_check_private_key(&ctx) != 1) {
    error = OpenSslError();
    return false;
  }
  return true;
}

// The errno of binding the port on all interfaces, or 0 when that works now.
int ProbeBind(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return errno;
  const int one = 1;
  ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_ANY);
  const int result = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? 0 : errno;
  ::close(s);
  return result;
}

std::optional<struct stat> StatOf(const std::string& path) {
  struct stat st{};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
  return st;
}

bool IsFile(const std::string& path) {
  const auto st = StatOf(path);
  return st && S_ISREG(st->st_mode);
}

void NotFound(httplib::Response& res) {
  res.status = 404;
  res.set_content(ErrorPage("Not Found"), "text/html");
}

// The one range of a "bytes=" header, clipped to size: nullopt when the header asks for no
// single range (absent or several: the whole file), {false} when nothing of it lies inside.
struct tRange {
  bool satisfiable = false;
  uint64_t first = 0, last = 0;
};
std::optional<tRange> RequestedRange(const std::string& header, uint64_t size) {
  const std::string prefix = "bytes=";
  if (header.compare(0, prefix.size(), prefix) != 0 || header.find(',') != std::string::npos) return std::nullopt;
  const std::string spec = Trim(header.substr(prefix.size()));
  const size_t dash = spec.find('-');
  if (dash == std::string::npos) return tRange{};
  const auto number = [](const std::string& s) -> std::optional<uint64_t> {
    if (s.empty() || s.size() > 19 || s.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    return std::stoull(s);
  };
  const auto a = number(spec.substr(0, dash)), b = number(spec.substr(dash + 1));
  tRange r;
  if (!a) {  // the last b bytes
    if (!b || *b == 0 || size == 0) return r;
    r.first = *b >= size ? 0 : size - *b;
    r.last = size - 1;
  } else {
    if (*a >= size || (b && *b < *a)) return r;
    r.first = *a;
    r.last = b && *b < size ? *b : size - 1;
  }
  r.satisfiable = true;
  return r;
}

void ServeFile(const std::string& path, const httplib::Request& req, httplib::Response& res) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
  auto file = std::make_shared<FileHandle>(fd);
  struct stat st{};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) throw std::runtime_error(path + " is no file");
  const auto size = static_cast<uint64_t>(st.st_size);
  const std::string type = ContentTypeFor(path);
  res.status = 200;
  uint64_t first = 0, length = size;
  if (!SameText(req.method, "HEAD") && req.has_header("Range")) {
    if (const auto range = RequestedRange(req.get_header_value("Range"), size)) {
      if (!range->satisfiable) {
        res.status = 416;
        res.set_header("Content-Range", "bytes */" + std::to_string(size));
        res.set_content("", "text/plain");
        return;
      }
      res.status = 206;
      first = range->first;
      length = range->last - range->first + 1;
      res.set_header("Content-Range", "bytes " + std::to_string(range->first) + "-" +
                                          std::to_string(range->last) + "/" + std::to_string(size));
    }
  }
  res.set_header("Accept-Ranges", "bytes");
  if (length == 0) {
    res.set_content("", type);
    return;
  }
  res.set_content_provider(length, type, [file, first](size_t offset, size_t want, httplib::DataSink& sink) {
    std::vector<char> buf(std::min(want, kChunk));
    const ssize_t n = ::pread(file->fd, buf.data(), buf.size(), static_cast<off_t>(first + offset));
    // A file cut short meanwhile ends the answer early; the client sees a short body.
    if (n <= 0) return false;
    return sink.write(buf.data(), static_cast<size_t>(n));
  });
}

void ServeListing(const std::string& dir, const std::string& doc, httplib::Response& res) {
  DIR* d = ::opendir(dir.c_str());
  if (!d) throw std::runtime_error("cannot list " + dir + ": " + std::strerror(errno));
  std::vector<tListingEntry> entries;
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (entries.size() >= kListingEntryLimit) break;
    tListingEntry entry{name, std::nullopt, std::nullopt};
    struct stat st{};
    // A link is described, not followed: its target may lie outside.
    if (::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      const std::string why = std::string(std::strerror(errno));
      LogEvent("hscg2 " + name + ": " + why);
      LogEvent("hscg1 " + name + ": " + why);
    } else {
      if (S_ISDIR(st.st_mode)) LogEvent("hscg2 " + name + " is a directory");
      else entry.size = static_cast<uint64_t>(st.st_size);
      entry.unixMs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    }
    entries.push_back(std::move(entry));
  }
  ::closedir(d);
  res.status = 200;
  res.set_content(ListingPage(doc, entries), "text/html");
}

}  // namespace

std::string BindFailureText(int port, int error) {
  const std::string head = "The HTTP server cannot listen on port " + std::to_string(port) + ": ";
  if (error == EACCES || error == EPERM)
    return head + "ports below 1024 need the privilege to bind them (CAP_NET_BIND_SERVICE); choose a port of 1024 or above";
  if (error == EADDRINUSE) return head + "the port is in use by another program";
  if (error == 0) return head + "the port could not be bound";
  return head + std::strerror(error);
}

THttpServer::THttpServer() { settings_.store(std::make_shared<const tHttpSettings>()); }

THttpServer::~THttpServer() { Stop(); }

void THttpServer::Stop() {
  if (server_) server_->stop();
  if (listener_.joinable()) listener_.join();
  server_.reset();
}

void THttpServer::PublishReadings(std::shared_ptr<const tHttpReadings> readings) {
  readings_.store(std::move(readings));
}

void THttpServer::Apply(const tSettings& settings, const std::string& appDir, const std::string& pictureFolder) {
  auto snapshot = std::make_shared<tHttpSettings>();
  snapshot->localPath = IncludeTrailingSlash(pictureFolder);
  snapshot->wwwPath = DataFile("www/", appDir);
  snapshot->light = settings.Light;
  snapshot->banner = settings.Banner;
  settings_.store(std::move(snapshot));
  try {
    Stop();
    port_ = settings.HTTPServerPort;
    const std::string pem = DataFile("Kelvara.pem", appDir);
    tls_ = IsFile(pem);
    if (tls_) {
      std::string error;
      auto tls = std::make_unique<tTlsServer>([&](SSL_CTX& ctx) { return SetUpTls(ctx, pem, error); });
      if (!tls->is_valid()) throw std::runtime_error("The HTTPS server cannot use " + pem + ": " + error);
      server_ = std::move(tls);
    } else {
      server_ = std::make_unique<tPlainServer>();
    }
    httplib::Server& s = *server_;
    s.new_task_queue = [] { return new BoundedPool(kConnectionThreads, kWaitingConnections); };
    s.set_read_timeout(kReadTimeoutSeconds);
    s.set_write_timeout(kWriteTimeoutSeconds);
    s.set_keep_alive_timeout(kKeepAliveSeconds);
    s.set_keep_alive_max_count(kKeepAliveRequests);
    s.set_payload_max_length(kPostBodyLimit);
    s.set_tcp_nodelay(true);
    // GET and HEAD here, before the library's own routing; POST after its body is read.
    s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
      if (req.method != "GET" && req.method != "HEAD") return httplib::Server::HandlerResponse::Unhandled;
      HTTPDCommandGet(req, res);
      return httplib::Server::HandlerResponse::Handled;
    });
    s.Post(".*", [this](const httplib::Request& req, httplib::Response& res) { HTTPDCommandGet(req, res); });
    if (!settings.HTTPServerActive) return;
    if (!s.bind_to_port("0.0.0.0", port_)) {
      const std::string text = BindFailureText(port_, ProbeBind(port_));
      LogEvent("io1 " + text);
      Ui().ShowStatus(text);
      return;
    }
    const int socket = tls_ ? static_cast<tTlsServer&>(s).Socket() : static_cast<tPlainServer&>(s).Socket();
    ::listen(socket, kListenBacklog);  // again, with room for bursts
    listener_ = std::thread([&s] { s.listen_after_bind(); });
    // A stop before the loop runs would be missed and the join would wait for ever.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!s.is_running() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  } catch (const std::exception& e) {
    LogEvent(std::string("io1 ") + e.what());
    Ui().ShowStatus(e.what());
  }
}

void THttpServer::HTTPDCommandGet(const httplib::Request& req, httplib::Response& res) const {
  try {
    // The library would cut a Range out of the body itself, without checking it against the
    // size; ServeFile answers ranges.
    const_cast<httplib::Request&>(req).ranges.clear();
    const auto settings = settings_.load();
    const auto path = DecodeRequestPath(req.target);
    if (!path) return NotFound(res);
    if (*path == "/metrics" || *path == "/api/v1/readings") {
      const auto readings = readings_.load();
      if (!readings) {
        res.status = 503;
        res.set_content("no acquisition pass yet\n", "text/plain");
      } else if (*path == "/metrics") {
        res.set_content(readings->metrics, "text/plain; version=0.0.4; charset=utf-8");
      } else {
        res.set_content(readings->json, "application/json");
      }
      return;
    }
    const std::string doc = DocName(*path);
    // Names arrive lower-cased; the folder may hold them in any case.
    const std::string web = ConfinedPath(settings->wwwPath, MatchCase(settings->wwwPath, doc));
    const auto webStat = StatOf(web);
    if (doc == "index.html" && !(webStat && S_ISREG(webStat->st_mode))) {
      const bool light = IsFile(ConfinedPath(settings->localPath, settings->light));
      const bool banner = IsFile(ConfinedPath(settings->localPath, settings->banner));
      res.status = 200;
      res.set_content(IndexPage(settings->light, light, settings->banner, banner), "text/html");
      return;
    }
    if (doc == settings->light || doc == settings->banner || doc == "index.html") {
      const std::string local = ConfinedPath(settings->localPath, doc);
      if (IsFile(local)) return ServeFile(local, req, res);
    }
    if (webStat && S_ISDIR(webStat->st_mode)) return ServeListing(web, doc, res);
    if (webStat && S_ISREG(webStat->st_mode)) return ServeFile(web, req, res);
    NotFound(res);
  } catch (const std::exception& e) {
    LogEvent(std::string("hscg3 ") + e.what());
    if (res.status == -1) res.status = 500;
  }
}

}  // namespace kv
