// The HTTP(S) server module: libmicrohttpd (HTTP parsing, answers, TLS through GnuTLS) driven
// by a few event loops of our own over epoll, behind the small interface of Httpd.h. What a
// request gets is decided by the caller's handler; this file only listens, bounds what each
// client may cost and writes the answers.
//
// The loops are ours because the library's own blocks in epoll_wait for a whole time-out when
// one wait returns its full batch of events: with 128 busy connections every client stalls.
// Asked to run without waiting, it drains its events and leaves the waiting to us.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <microhttpd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "publishing/http/Httpd.h"

namespace kv {

namespace {

constexpr int kListenBacklog = 512;
// TLS 1.2 and 1.3 only; GnuTLS's defaults within them.
constexpr const char* kTlsPriorities = "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2";
constexpr auto kSweepPeriod = std::chrono::milliseconds(250);
constexpr size_t kStartLogLimit = 2048;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

struct tConnection {
  int fd = -1;
  size_t index = 0;      // in tWarden::all_, under its lock
  bool dropped = false;  // under the lock
  std::atomic<bool> answering{false};  // its head arrived; the answer is under way
  std::atomic<int64_t> waitingSince{0};  // since when it waits for a request head
};

// Every open connection, for the head deadline and the connection cap. The library reports a
// connection's start and end on its event-loop threads. Cutting one off is a shutdown of its
// socket, which its loop then sees as a client that hung up; the descriptor stays open until
// the end report, which takes the lock first, so a shutdown never reaches a reused descriptor.
class tWarden {
 public:
  // Beyond cap live connections, the one that has waited longest for a head makes room.
  void Added(tConnection* c, size_t cap) {
    std::lock_guard lock(mutex_);
    c->index = all_.size();
    all_.push_back(c);
    ++live_;
    if (all_.size() == 1) wake_.notify_one();
    if (live_ <= cap) return;
    tConnection* oldest = nullptr;
    for (tConnection* other : all_) {
      if (other == c || other->dropped || other->answering.load(std::memory_order_acquire)) continue;
      if (!oldest || other->waitingSince.load(std::memory_order_relaxed) <
                         oldest->waitingSince.load(std::memory_order_relaxed))
        oldest = other;
    }
    Drop(oldest ? oldest : c);
  }

  void Removed(tConnection* c) {
    std::lock_guard lock(mutex_);
    if (!c->dropped) --live_;
    all_.back()->index = c->index;
    std::swap(all_[c->index], all_.back());
    all_.pop_back();
  }

  // Until Stop: cuts off every connection whose head is overdue.
  void Run(int64_t headMs) {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
      if (all_.empty()) wake_.wait(lock);
      else wake_.wait_for(lock, kSweepPeriod);
      const int64_t now = NowMs();
      for (tConnection* c : all_) {
        if (c->dropped || c->answering.load(std::memory_order_acquire)) continue;
        if (now - c->waitingSince.load(std::memory_order_relaxed) > headMs) Drop(c);
      }
    }
  }

  void Stop() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    wake_.notify_all();
  }

  void Reset() {
    std::lock_guard lock(mutex_);
    stopping_ = false;
  }

 private:
  void Drop(tConnection* c) {
    ::shutdown(c->fd, SHUT_RDWR);
    c->dropped = true;
    --live_;
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<tConnection*> all_;
  size_t live_ = 0;
  bool stopping_ = false;
};

// A listening socket of our own, so a refused port tells why, and no SO_REUSEPORT: a second
// server on the port must fail, not share it. Without an address it is every IPv4 interface.
int Listen(const std::string& address, int port, tHttpdStart& result) {
  sockaddr_storage a{};
  socklen_t length = sizeof(sockaddr_in);
  if (address.empty()) {
    auto& v4 = reinterpret_cast<sockaddr_in&>(a);
    v4.sin_family = AF_INET;
    v4.sin_port = htons(static_cast<uint16_t>(port));
    v4.sin_addr.s_addr = htonl(INADDR_ANY);
  } else {
    // Numbers only: a name would mean a resolver call, and one name can stand for many places.
    std::string host = address;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) {
      result.error = "\"" + address + "\" is not an IPv4 or IPv6 address";
      return -1;
    }
    std::memcpy(&a, found->ai_addr, found->ai_addrlen);
    length = found->ai_addrlen;
    ::freeaddrinfo(found);
  }
  const int s = ::socket(a.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (s < 0) {
    result.bindError = errno;
    return -1;
  }
  const int one = 1;  // a restart binds beside the old server's closing connections
  ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), length) != 0 || ::listen(s, kListenBacklog) != 0) {
    result.bindError = errno;
    ::close(s);
    return -1;
  }
  return s;
}

// The client's address as text, for the log.
std::string PeerOf(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  if (!info || !info->client_addr) return {};
  char host[INET6_ADDRSTRLEN] = "";
  const sockaddr* peer = info->client_addr;
  if (peer->sa_family == AF_INET)
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(peer)->sin_addr, host, sizeof host);
  else if (peer->sa_family == AF_INET6)
    ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(peer)->sin6_addr, host, sizeof host);
  return host;
}

bool SameSocket(int a, int b) {
  struct stat sa{}, sb{};
  return ::fstat(a, &sa) == 0 && ::fstat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void ReleaseShared(void* keep) { delete static_cast<std::shared_ptr<const std::string>*>(keep); }

// The library would decode escapes itself; the handler decides what a path means.
size_t KeepEscapes(void*, MHD_Connection*, char* uri) { return std::strlen(uri); }

tConnection* ConnectionOf(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
  return info ? static_cast<tConnection*>(info->socket_context) : nullptr;
}

MHD_Result Queue(MHD_Connection* connection, tHttpdAnswer& a) {
  MHD_Response* response = nullptr;
  if (a.file && a.length > 0) {
    const int fd = a.file->Release();
    response = MHD_create_response_from_fd_at_offset64(a.length, fd, a.first);
    if (!response) ::close(fd);
  } else if (a.shared && a.length > 0 && a.first <= a.shared->size() && a.length <= a.shared->size() - a.first) {
    auto* keep = new std::shared_ptr<const std::string>(std::move(a.shared));
    response = MHD_create_response_from_buffer_with_free_callback_cls(
        a.length, const_cast<char*>((*keep)->data() + a.first), ReleaseShared, keep);
    if (!response) delete keep;
  } else {
    response = MHD_create_response_from_buffer(a.body.size(), a.body.data(), MHD_RESPMEM_MUST_COPY);
  }
  if (!response) return MHD_NO;  // the connection is closed
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, a.contentType.c_str());
  for (const auto& [name, value] : a.headers) MHD_add_response_header(response, name.c_str(), value.c_str());
  const MHD_Result queued =
      MHD_queue_response(connection, a.status < 0 ? MHD_HTTP_INTERNAL_SERVER_ERROR : static_cast<unsigned>(a.status),
                         response);
  MHD_destroy_response(response);
  return queued;
}

class THttpd final : public IHttpd {
 public:
  ~THttpd() override { Stop(); }

  tHttpdStart Start(const tHttpdOptions& options) override {
    Stop();
    tHttpdStart result;
    const int listener = Listen(options.bind, options.port, result);
    if (listener < 0) return result;
    handler_ = options.handler;
    limits_ = options.limits;
    pem_ = options.pem;
    const unsigned loops = std::clamp(limits_.threads, 1u, 16u);
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    {
      std::lock_guard lock(logMutex_);
      collecting_ = true;
      startLog_.clear();
    }
    warden_.Reset();
    bool started = wake_ >= 0;
    for (unsigned i = 0; started && i < loops; ++i) {
      tLoop loop{StartDaemon(listener, loops), ::epoll_create1(EPOLL_CLOEXEC)};
      if (loop.daemon || loop.outer >= 0) loops_.push_back(loop);
      started = loop.daemon && loop.outer >= 0 && Watch(loop);
    }
    ::close(listener);
    std::string log;
    {
      std::lock_guard lock(logMutex_);
      collecting_ = false;
      log.swap(startLog_);
    }
    if (!started) {
      Stop();
      while (!log.empty() && (log.back() == '\n' || log.back() == ' ')) log.pop_back();
      result.error = log.empty() ? std::string("the server could not be started: ") + std::strerror(errno) : log;
      return result;
    }
    stopping_.store(false);
    for (const tLoop& loop : loops_) threads_.emplace_back([this, loop] { Loop(loop); });
    threads_.emplace_back([this, headMs = int64_t{limits_.headSeconds} * 1000] {
      pthread_setname_np(pthread_self(), "kv-http-warden");
      warden_.Run(headMs);
    });
    result.listening = true;
    return result;
  }

  void Stop() override {
    stopping_.store(true);
    if (wake_ >= 0) {
      const uint64_t one = 1;
      [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
    }
    warden_.Stop();
    for (std::thread& t : threads_) t.join();
    threads_.clear();
    // Every connection is closed at once, whatever its client does.
    for (const tLoop& loop : loops_) {
      if (loop.daemon) MHD_stop_daemon(loop.daemon);
      if (loop.outer >= 0) ::close(loop.outer);
    }
    loops_.clear();
    if (wake_ >= 0) ::close(wake_);
    wake_ = -1;
  }

  bool Running() const override { return !loops_.empty(); }

 private:
  // A loop waits on the library's epoll descriptor (readable while it has events to take) and
  // on the stop signal, then lets the library take its events without waiting itself.
  struct tLoop {
    MHD_Daemon* daemon = nullptr;
    int outer = -1;
  };

  bool Watch(const tLoop& loop) {
    const MHD_DaemonInfo* info = MHD_get_daemon_info(loop.daemon, MHD_DAEMON_INFO_EPOLL_FD);
    epoll_event ready{};
    ready.events = EPOLLIN;
    return info && ::epoll_ctl(loop.outer, EPOLL_CTL_ADD, info->epoll_fd, &ready) == 0 &&
           ::epoll_ctl(loop.outer, EPOLL_CTL_ADD, wake_, &ready) == 0;
  }

  // One loop's server on a duplicate of the listening socket: all loops accept from it.
  MHD_Daemon* StartDaemon(int listener, unsigned loops) {
    // The library closes the socket it was given on some failures and not on others; ours,
    // still open, tells whether the duplicate is still that socket.
    const int given = ::fcntl(listener, F_DUPFD_CLOEXEC, 0);
    if (given < 0) return nullptr;
    const unsigned cap = std::max(1u, limits_.connections);
    std::vector<MHD_OptionItem> items = {
        {MHD_OPTION_LISTEN_SOCKET, given, nullptr},
        {MHD_OPTION_CONNECTION_LIMIT, static_cast<intptr_t>((cap + cap / 4) / loops + 1), nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, static_cast<intptr_t>(limits_.idleSeconds), nullptr},
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(limits_.connectionMemory), nullptr},
        {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&OnConnection), this},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&OnCompleted), this},
        {MHD_OPTION_UNESCAPE_CALLBACK, reinterpret_cast<intptr_t>(&KeepEscapes), nullptr},
        {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&OnLog), this},
        {MHD_OPTION_SIGPIPE_HANDLED_BY_APP, 1, nullptr},  // the loops block it
    };
    unsigned flags = MHD_USE_EPOLL | MHD_USE_ERROR_LOG;
    if (!pem_.empty()) {
      flags |= MHD_USE_TLS;
      items.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(pem_.c_str())});
      items.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(pem_.c_str())});
      items.push_back({MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>(kTlsPriorities)});
    }
    items.push_back({MHD_OPTION_END, 0, nullptr});
    MHD_Daemon* daemon =
        MHD_start_daemon(flags, 0, nullptr, nullptr, &OnRequest, this, MHD_OPTION_ARRAY, items.data(), MHD_OPTION_END);
    if (!daemon && SameSocket(given, listener)) ::close(given);
    return daemon;
  }

  void Loop(const tLoop& loop) {
    pthread_setname_np(pthread_self(), "kv-http");
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    while (!stopping_.load(std::memory_order_relaxed)) {
      MHD_UNSIGNED_LONG_LONG due = 0;
      const bool known = MHD_get_timeout(loop.daemon, &due) == MHD_YES;
      const int timeout = known ? static_cast<int>(std::min<MHD_UNSIGNED_LONG_LONG>(due, INT_MAX)) : -1;
      epoll_event events[2];
      ::epoll_wait(loop.outer, events, 2, timeout);
      if (stopping_.load(std::memory_order_relaxed)) break;
      MHD_run(loop.daemon);
    }
  }

  static MHD_Result OnRequest(void* cls, MHD_Connection* connection, const char* url, const char* method,
                              const char*, const char*, size_t*, void** request) {
    auto& self = *static_cast<THttpd*>(cls);
    // The library asks once when the head is in and again when the body is; an answer given
    // at the first call refuses the body unread and closes the connection after it. Without
    // a body, the second call answers and the connection stays open for the next request.
    if (!*request && !HasBody(connection)) {
      *request = connection;
      return MHD_YES;
    }
    if (tConnection* c = ConnectionOf(connection)) c->answering.store(true, std::memory_order_release);
    tHttpdAnswer answer;
    const std::string_view verb(method);
    if (verb != MHD_HTTP_METHOD_GET && verb != MHD_HTTP_METHOD_HEAD && verb != MHD_HTTP_METHOD_POST) {
      answer.status = MHD_HTTP_METHOD_NOT_ALLOWED;
      answer.headers.emplace_back(MHD_HTTP_HEADER_ALLOW, "GET, HEAD, POST");
      return Queue(connection, answer);
    }
    const char* range = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_RANGE);
    const char* authorization =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_AUTHORIZATION);
    try {
      const std::string peer = PeerOf(connection);
      self.handler_(tHttpdRequest{verb, url, range ? range : "", authorization ? authorization : "", peer}, answer);
    } catch (...) {
      answer = tHttpdAnswer{};
    }
    return Queue(connection, answer);
  }

  static bool HasBody(MHD_Connection* connection) {
    if (MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_TRANSFER_ENCODING)) return true;
    const char* length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    return length && std::strspn(length, "0") != std::strlen(length);
  }

  static void OnConnection(void* cls, MHD_Connection* connection, void** context,
                           MHD_ConnectionNotificationCode code) {
    auto& self = *static_cast<THttpd*>(cls);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
      const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
      if (!info) return;
      auto* c = new tConnection;
      c->fd = info->connect_fd;
      c->waitingSince.store(NowMs(), std::memory_order_relaxed);
      *context = c;
      self.warden_.Added(c, std::max(1u, self.limits_.connections));
    } else if (auto* c = static_cast<tConnection*>(*context)) {
      self.warden_.Removed(c);
      delete c;
      *context = nullptr;
    }
  }

  // An answer went out (or failed): the connection waits for the next head from now.
  static void OnCompleted(void*, MHD_Connection* connection, void**, MHD_RequestTerminationCode) {
    if (tConnection* c = ConnectionOf(connection)) {
      c->waitingSince.store(NowMs(), std::memory_order_relaxed);
      c->answering.store(false, std::memory_order_release);
    }
  }

  // Only what goes wrong while starting is kept: it becomes the reason given. Later messages
  // are about single clients, which an attacker could make endless.
  static void OnLog(void* cls, const char* format, va_list args) {
    auto& self = *static_cast<THttpd*>(cls);
    std::lock_guard lock(self.logMutex_);
    if (!self.collecting_ || self.startLog_.size() >= kStartLogLimit) return;
    char line[512];
    std::vsnprintf(line, sizeof line, format, args);
    if (!self.startLog_.empty() && self.startLog_.back() != ' ') self.startLog_ += ' ';
    self.startLog_ += line;
    while (!self.startLog_.empty() && self.startLog_.back() == '\n') self.startLog_.back() = ' ';
  }

  std::vector<tLoop> loops_;
  std::vector<std::thread> threads_;  // the loops, then the warden
  int wake_ = -1;                     // readable once the loops are to stop
  std::atomic<bool> stopping_{false};
  tHttpdHandler handler_;
  tHttpdLimits limits_;
  std::string pem_;
  tWarden warden_;
  std::mutex logMutex_;
  bool collecting_ = false;
  std::string startLog_;
};

}  // namespace

}  // namespace kv

extern "C" __attribute__((visibility("default"))) kv::IHttpd* KvNewHttpd() { return new kv::THttpd(); }
