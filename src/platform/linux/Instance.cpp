#include "platform/Instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <cstdlib>

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

InstanceServer::InstanceServer(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {}

InstanceServer::~InstanceServer() {
  if (server_) server_->close();
}

bool InstanceServer::Listen(const std::string& path) {
  // Only the lock holder listens, so a socket file left by a crash can be removed safely.
  QLocalServer::removeServer(QString::fromStdString(path));
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, &InstanceServer::OnConnection);
  return server_->listen(QString::fromStdString(path));
}

void InstanceServer::OnConnection() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      constexpr qint64 MaxLine = 32;  // a message is a short number; anything longer is garbage
      while (socket->canReadLine()) {
        const QByteArray line = socket->readLine(MaxLine + 1);
        if (!line.endsWith('\n')) break;
        bool ok = false;
        const int message = line.trimmed().toInt(&ok);
        if (ok && handler_) handler_(message);
        // The handler may have ended the program and closed the socket.
        if (socket->state() == QLocalSocket::ConnectedState) {
          socket->write("ok\n");
          socket->flush();
        }
      }
      if (socket->bytesAvailable() > MaxLine) socket->abort();
    });
  }
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

}  // namespace kv
