#include "platform/Instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <sys/stat.h>

#include "core/EventLog.h"
#include "core/Text.h"

namespace kv {

namespace {
std::string RuntimeName(const char* suffix) {
  const char* dir = std::getenv("XDG_RUNTIME_DIR");
  if (dir && dir[0] == '/') return IncludeTrailingSlash(dir) + "kelvara" + suffix;
  return "/tmp/kelvara-" + std::to_string(::getuid()) + suffix;
}
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
  constexpr size_t MaxLine = 32;  // a message is a short number; anything longer is garbage
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

InstanceServer::InstanceServer(Handler handler, QObject* parent, tInstanceLimits limits)
    : QObject(parent), handler_(std::move(handler)), limits_(limits) {}

InstanceServer::~InstanceServer() {
  if (server_) server_->close();
}

bool InstanceServer::Listen(const std::string& path) {
  path_ = path;
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, &InstanceServer::OnConnection);
  // The socket file can be removed under us (a cleaner of the runtime folder, a full
  // descriptor table): look for it now and then and listen again when it is gone.
  check_ = new QTimer(this);
  check_->setInterval(limits_.checkMs);
  connect(check_, &QTimer::timeout, this, &InstanceServer::CheckSocketFile);
  check_->start();
  return ListenAgain();
}

bool InstanceServer::ListenAgain() {
  server_->close();
  // Only the lock holder listens, so a socket file left by a crash can be removed safely.
  QLocalServer::removeServer(QString::fromStdString(path_));
  if (!server_->listen(QString::fromStdString(path_))) return false;
  struct stat st {};
  if (::lstat(path_.c_str(), &st) == 0) {
    dev_ = st.st_dev;
    ino_ = st.st_ino;
  }
  return true;
}

void InstanceServer::CheckSocketFile() {
  struct stat st {};
  const bool ours = ::lstat(path_.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_uid == ::geteuid() &&
                    st.st_dev == dev_ && st.st_ino == ino_ && server_->isListening();
  if (ours) return;
  if (ListenAgain())
    LogEvent("Instance socket " + path_ + " was gone; listening again");
  else
    LogEvent("Cannot listen on " + path_);
}

int InstanceServer::Connections() {
  std::erase_if(open_, [](const QPointer<QLocalSocket>& s) {
    return s.isNull() || s->state() == QLocalSocket::UnconnectedState;
  });
  return static_cast<int>(open_.size());
}

void InstanceServer::OnConnection() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    // Room for the newcomer: the oldest connection goes. A sender gets its line handled at
    // once, so only idle connections grow old.
    while (Connections() >= std::max(1, limits_.maxConnections)) {
      QLocalSocket* oldest = open_.front();
      open_.pop_front();
      oldest->abort();
      oldest->deleteLater();
    }
    open_.emplace_back(socket);
    auto* idle = new QTimer(socket);
    idle->setSingleShot(true);
    idle->setInterval(limits_.idleMs);
    connect(idle, &QTimer::timeout, socket, [socket] {
      socket->abort();
      socket->deleteLater();
    });
    idle->start();
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket, idle] {
      idle->start();
      OnLine(socket);
    });
  }
}

void InstanceServer::OnLine(QLocalSocket* socket) {
  constexpr qint64 MaxLine = 32;
  QPointer<QLocalSocket> alive(socket);
  while (alive && socket->canReadLine()) {
    const QByteArray line = socket->readLine(MaxLine + 1);
    if (!line.endsWith('\n')) break;
    const std::optional<int> message = ParseInstanceLine(std::string_view(line.constData(), line.size() - 1));
    if (message && handler_) handler_(*message);
    // The handler may have ended the program and closed the socket.
    if (alive && socket->state() == QLocalSocket::ConnectedState) {
      socket->write("ok\n");
      socket->flush();
    }
  }
  if (alive && socket->bytesAvailable() > MaxLine) socket->abort();
}

bool SendInstanceMessages(const std::string& path, std::initializer_list<int> messages,
                          int timeoutMs) {
  QLocalSocket socket;
  socket.connectToServer(QString::fromStdString(path));
  if (!socket.waitForConnected(2000)) return false;
  for (const int message : messages) {
    socket.write(QByteArray::number(message) + '\n');
    if (!socket.waitForBytesWritten(2000)) return false;
    // Synchronous like a sent message: wait for the answer (or for the peer to go away).
    QElapsedTimer timer;
    timer.start();
    while (!socket.canReadLine()) {
      if (socket.state() != QLocalSocket::ConnectedState) return true;
      if (timer.elapsed() > timeoutMs) return false;
      socket.waitForReadyRead(200);
    }
    socket.readLine();
  }
  return true;
}

bool PostInstanceMessage(const std::string& path, int message) {
  QLocalSocket socket;
  socket.connectToServer(QString::fromStdString(path));
  if (!socket.waitForConnected(1000)) return false;
  socket.write(QByteArray::number(message) + '\n');
  QElapsedTimer timer;
  timer.start();
  while (socket.bytesToWrite() > 0 && timer.elapsed() < 1000) socket.waitForBytesWritten(100);
  const bool written = socket.bytesToWrite() == 0;
  socket.abort();  // never wait for the answer: the receiver may be this thread
  return written;
}

}  // namespace kv
