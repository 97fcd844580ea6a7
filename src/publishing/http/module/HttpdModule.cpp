// The HTTP(S) server module: cpp-httplib and OpenSSL behind the small interface of Httpd.h.
// What a request gets is decided by the caller's handler; this file only listens, bounds the
// connections and writes the answers.
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "publishing/http/Httpd.h"

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
constexpr size_t kChunk = 64 * 1024;
constexpr int kListenBacklog = 512;

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

void Answer(const tHttpdHandler& handler, const httplib::Request& req, httplib::Response& res) {
  // The library would cut a Range out of the body itself, without checking it against the
  // size; the handler answers ranges.
  const_cast<httplib::Request&>(req).ranges.clear();
  const tHttpdRequest request{req.method, req.target, req.get_header_value("Range")};
  tHttpdAnswer answer;
  try {
    handler(request, answer);
  } catch (...) {
    answer = tHttpdAnswer{};
  }
  res.status = answer.status < 0 ? 500 : answer.status;
  for (const auto& [name, value] : answer.headers) res.set_header(name, value);
  if (!answer.file) return res.set_content(answer.body, answer.contentType);
  res.set_content_provider(
      answer.length, answer.contentType,
      [file = answer.file, first = answer.first](size_t offset, size_t want, httplib::DataSink& sink) {
        std::vector<char> buf(std::min(want, kChunk));
        const ssize_t n = ::pread(file->fd, buf.data(), buf.size(), static_cast<off_t>(first + offset));
        // A file cut short meanwhile ends the answer early; the client sees a short body.
        if (n <= 0) return false;
        return sink.write(buf.data(), static_cast<size_t>(n));
      });
}

class THttpd final : public IHttpd {
 public:
  ~THttpd() override { Stop(); }

  tHttpdStart Start(const tHttpdOptions& options) override {
    Stop();
    tHttpdStart result;
    if (!options.pem.empty()) {
      std::string error;
      auto tls = std::make_unique<tTlsServer>([&](SSL_CTX& ctx) { return SetUpTls(ctx, options.pem, error); });
      if (!tls->is_valid()) {
        result.error = "The HTTPS server cannot use " + options.pem + ": " + error;
        return result;
      }
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
    s.set_pre_routing_handler([handler = options.handler](const httplib::Request& req, httplib::Response& res) {
      if (req.method != "GET" && req.method != "HEAD") return httplib::Server::HandlerResponse::Unhandled;
      Answer(handler, req, res);
      return httplib::Server::HandlerResponse::Handled;
    });
    s.Post(".*", [handler = options.handler](const httplib::Request& req, httplib::Response& res) {
      Answer(handler, req, res);
    });
    if (!s.bind_to_port("0.0.0.0", options.port)) {
      server_.reset();
      result.bindFailed = true;
      return result;
    }
    const bool tls = !options.pem.empty();
    const int socket = tls ? static_cast<tTlsServer&>(s).Socket() : static_cast<tPlainServer&>(s).Socket();
    ::listen(socket, kListenBacklog);  // again, with room for bursts
    listener_ = std::thread([&s] { s.listen_after_bind(); });
    // A stop before the loop runs would be missed and the join would wait for ever.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!s.is_running() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    result.listening = true;
    return result;
  }

  void Stop() override {
    if (server_) server_->stop();
    if (listener_.joinable()) listener_.join();
    server_.reset();
  }

  bool Running() const override { return listener_.joinable(); }

 private:
  std::unique_ptr<httplib::Server> server_;
  std::thread listener_;
};

}  // namespace

}  // namespace kv

extern "C" __attribute__((visibility("default"))) kv::IHttpd* KvNewHttpd() { return new kv::THttpd(); }
