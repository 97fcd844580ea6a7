#include "platform/Instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "core/EventLog.h"
#include "core/Text.h"

namespace kv {

namespace {
std::string RuntimeName(const char* suffix) {
  const char* dir = std::getenv("XDG_RUNTIME_DIR");
  if (dir && dir[0] == '/') return IncludeTrailingSlash(dir) + "kelvara" + suffix;
  return "/tmp/kelvara-" + std::to_string(::getuid()) + suffix;
}

constexpr size_t MaxLine = 32;  // a message is a short number; anything longer is garbage

bool MakeAddress(const std::string& path, sockaddr_un& addr) {
  addr = {};
  addr.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.data(), path.size());
  return true;
}

using SteadyClock = std::chrono::steady_clock;

int MsLeft(SteadyClock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for events on fd until the deadline; false on time-out.
bool WaitFor(int fd, short events, SteadyClock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, MsLeft(deadline));
    if (n > 0) return true;
    if (n == 0) return false;
    if (errno != EINTR) return false;
  }
}

// A connected non-blocking socket, or -1 when nobody listens at path or the time runs out.
int ConnectWithin(const std::string& path, int ms) {
  sockaddr_un addr;
  if (!MakeAddress(path, addr)) return -1;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) return fd;
    if (errno == EINTR) continue;
    if (errno == EAGAIN && MsLeft(deadline) > 0) {  // the listener's queue is full: try again shortly
      ::poll(nullptr, 0, std::min(20, MsLeft(deadline)));
      continue;
    }
    if (errno == EINPROGRESS && WaitFor(fd, POLLOUT, deadline)) {
      int error = 0;
      socklen_t size = sizeof error;
      if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0) return fd;
    }
    ::close(fd);
    return -1;
  }
}

bool WriteWithin(int fd, std::string_view data, SteadyClock::time_point deadline) {
  while (!data.empty()) {
    const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    if (n > 0) {
      data.remove_prefix(static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && WaitFor(fd, POLLOUT, deadline)) continue;
    return false;
  }
  return true;
}

std::string MessageLine(int message) { return std::to_string(message) + '\n'; }
}  // namespace

std::string InstanceLockPath() { return RuntimeName(".lock"); }
std::string InstanceSocketPath() { return RuntimeName(".sock"); }

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) ::close(fd_);  // the lock goes with the descriptor, and with a crashed process
}

bool InstanceLock::Acquire(const std::string& path) {
  if (fd_ >= 0) return true;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

std::optional<int> ParseInstanceLine(std::string_view line) {
  if (line.size() > MaxLine) return std::nullopt;
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!line.empty() && blank(line.front())) line.remove_prefix(1);
  while (!line.empty() && blank(line.back())) line.remove_suffix(1);
  if (!line.empty() && line.front() == '+') line.remove_prefix(1);
  if (line.empty()) return std::nullopt;
  int value = 0;
  const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), value);
  if (error != std::errc() || end != line.data() + line.size()) return std::nullopt;
  return value;
}

bool InstanceRunning(const std::string& lockPath) {
  const int fd = ::open(lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  // A shared lock is refused while the running instance holds its exclusive one.
  const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);  // also drops the shared lock when we got it
  return held;
}

struct InstanceServer::tConnection {
  uint64_t id = 0;
  int fd = -1;
  QSocketNotifier* notifier = nullptr;
  QTimer* idle = nullptr;
  std::string pending;  // never more than one line
  ~tConnection() {
    // Deleted later: the connection may go from inside its own notifier's or timer's signal.
    if (notifier) {
      notifier->setEnabled(false);
      notifier->deleteLater();
    }
    if (idle) {
      idle->stop();
      idle->deleteLater();
    }
    if (fd >= 0) ::close(fd);
  }
};

InstanceServer::InstanceServer(Handler handler, QObject* parent, tInstanceLimits limits)
    : QObject(parent), handler_(std::move(handler)), limits_(limits) {}

InstanceServer::~InstanceServer() {
  open_.clear();
  CloseListener();
}

bool InstanceServer::Listen(const std::string& path) {
  path_ = path;
  // The socket file can be removed under us (a cleaner of the runtime folder, a full
  // descriptor table): look for it now and then and listen again when it is gone.
  check_ = new QTimer(this);
  check_->setInterval(limits_.checkMs);
  connect(check_, &QTimer::timeout, this, &InstanceServer::CheckSocketFile);
  check_->start();
  return ListenAgain();
}

void InstanceServer::CloseListener() {
  if (listenFd_ < 0) return;
  delete listenNotifier_;
  listenNotifier_ = nullptr;
  ::close(listenFd_);
  listenFd_ = -1;
  // Remove our socket file, never one that has taken its place since.
  struct stat st {};
  if (::lstat(path_.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_dev == dev_ && st.st_ino == ino_)
    ::unlink(path_.c_str());
}

bool InstanceServer::ListenAgain() {
  CloseListener();
  sockaddr_un addr;
  if (!MakeAddress(path_, addr)) return false;
  // Only the lock holder listens, so a socket file of ours left by a crash can be removed
  // safely; anything else at the path (a planted link, a file, another user's socket) stays.
  struct stat st {};
  if (::lstat(path_.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode) || st.st_uid != ::geteuid()) {
      LogEvent("Instance socket " + path_ + " is not ours; left alone");
      return false;
    }
    ::unlink(path_.c_str());
  }
  // Bound in a private folder, made owner-only there and then linked into place, so the
  // socket is never reachable by others and never replaces what appeared at the path meanwhile.
  const size_t slash = path_.rfind('/');
  std::string folder = (slash == std::string::npos ? std::string(".") : path_.substr(0, slash)) + "/.kvXXXXXX";
  if (!::mkdtemp(folder.data())) return false;
  const std::string bound = folder + "/s";
  sockaddr_un boundAddr;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  bool ok = fd >= 0 && MakeAddress(bound, boundAddr) &&
            ::bind(fd, reinterpret_cast<const sockaddr*>(&boundAddr), sizeof boundAddr) == 0 &&
            ::chmod(bound.c_str(), S_IRWXU) == 0 && ::listen(fd, 64) == 0 &&
            ::link(bound.c_str(), path_.c_str()) == 0;
  ::unlink(bound.c_str());
  ::rmdir(folder.c_str());
  ok = ok && ::lstat(path_.c_str(), &st) == 0;
  if (!ok) {
    if (fd >= 0) ::close(fd);
    return false;
  }
  dev_ = st.st_dev;
  ino_ = st.st_ino;
  listenFd_ = fd;
  listenNotifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  connect(listenNotifier_, &QSocketNotifier::activated, this, &InstanceServer::OnConnection);
  return true;
}

void InstanceServer::CheckSocketFile() {
  struct stat st {};
  const bool ours = ::lstat(path_.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_uid == ::geteuid() &&
                    st.st_dev == dev_ && st.st_ino == ino_ && listenFd_ >= 0;
  if (ours) return;
  if (ListenAgain())
    LogEvent("Instance socket " + path_ + " was gone; listening again");
  else
    LogEvent("Cannot listen on " + path_);
}

int InstanceServer::Connections() { return static_cast<int>(open_.size()); }

InstanceServer::tConnection* InstanceServer::Find(uint64_t id) {
  for (auto& c : open_)
    if (c->id == id) return c.get();
  return nullptr;
}

void InstanceServer::Drop(uint64_t id) {
  std::erase_if(open_, [id](const std::unique_ptr<tConnection>& c) { return c->id == id; });
}

void InstanceServer::OnConnection() {
  for (;;) {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK && listenNotifier_) {
        // Out of descriptors: the waiting peer would wake us at once again; rest a moment.
        LogEvent("Cannot accept on " + path_ + ": " + std::strerror(errno));
        listenNotifier_->setEnabled(false);
        QTimer::singleShot(1000, this, [this] {
          if (listenNotifier_) listenNotifier_->setEnabled(true);
        });
      }
      return;
    }
    // Room for the newcomer: the oldest connection goes. A sender gets its line handled at
    // once, so only idle connections grow old.
    while (open_.size() >= static_cast<size_t>(std::max(1, limits_.maxConnections))) open_.pop_front();
    auto c = std::make_unique<tConnection>();
    const uint64_t id = nextId_++;
    c->id = id;
    c->fd = fd;
    c->notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(c->notifier, &QSocketNotifier::activated, this, [this, id] { OnReadable(id); });
    c->idle = new QTimer(this);
    c->idle->setSingleShot(true);
    c->idle->setInterval(limits_.idleMs);
    connect(c->idle, &QTimer::timeout, this, [this, id] { Drop(id); });
    c->idle->start();
    open_.push_back(std::move(c));
  }
}

void InstanceServer::OnReadable(uint64_t id) {
  tConnection* c = Find(id);
  if (!c) return;
  c->idle->start();
  bool ended = false;
  // Read no more than completes one line; the rest waits in the socket for the next round.
  while (c->pending.size() <= MaxLine) {
    char buffer[64];
    const size_t room = std::min(sizeof buffer, MaxLine + 1 - c->pending.size());
    const ssize_t n = ::recv(c->fd, buffer, room, 0);
    if (n > 0) {
      c->pending.append(buffer, static_cast<size_t>(n));
      if (c->pending.find('\n') != std::string::npos) break;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    ended = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
    break;
  }
  // No reads from this peer while its handler runs (it may open a dialog with its own loop).
  c->notifier->setEnabled(false);
  QPointer<InstanceServer> alive(this);
  for (size_t end; (end = c->pending.find('\n')) != std::string::npos;) {
    const std::optional<int> message = ParseInstanceLine(std::string_view(c->pending).substr(0, end));
    c->pending.erase(0, end + 1);
    if (message && handler_) {
      handler_(*message);
      // The handler may have ended the program, or a nested loop the connection.
      if (!alive || !(c = Find(id))) return;
    }
    if (::send(c->fd, "ok\n", 3, MSG_NOSIGNAL | MSG_DONTWAIT) != 3) {
      ended = true;
      break;
    }
  }
  if (ended || c->pending.size() > MaxLine) {
    Drop(id);
    return;
  }
  c->notifier->setEnabled(true);
}

bool SendInstanceMessages(const std::string& path, std::initializer_list<int> messages,
                          int timeoutMs) {
  const int fd = ConnectWithin(path, 2000);
  if (fd < 0) return false;
  std::string pending;
  bool ok = true, answeredOne = false;
  for (const int message : messages) {
    if (!WriteWithin(fd, MessageLine(message), SteadyClock::now() + std::chrono::milliseconds(2000))) {
      // A peer that answered and then hung up has acted on what it was told (a session end
      // closes it before the close request arrives).
      ok = answeredOne && (errno == EPIPE || errno == ECONNRESET);
      break;
    }
    // Synchronous like a sent message: wait for the answer (or for the peer to go away).
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    bool answered = false, gone = false;
    while (!answered && !gone) {
      if (const size_t end = pending.find('\n'); end != std::string::npos) {
        pending.erase(0, end + 1);
        answered = true;
        break;
      }
      if (pending.size() > MaxLine) pending.clear();  // garbage: keep memory bounded
      if (!WaitFor(fd, POLLIN, deadline)) break;
      char buffer[64];
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n > 0)
        pending.append(buffer, static_cast<size_t>(n));
      else if (n == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK))
        gone = true;
    }
    if (gone) break;
    if (!answered) {
      ok = false;
      break;
    }
    answeredOne = true;
  }
  ::close(fd);
  return ok;
}

bool PostInstanceMessage(const std::string& path, int message) {
  const int fd = ConnectWithin(path, 1000);
  if (fd < 0) return false;
  // Never wait for the answer: the receiver may be this thread.
  const bool written = WriteWithin(fd, MessageLine(message), SteadyClock::now() + std::chrono::milliseconds(1000));
  ::close(fd);
  return written;
}

}  // namespace kv
