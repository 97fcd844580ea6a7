#pragma once
// One running instance per user: a lock that dies with its process, and a local socket that
// carries the messages between instances (a message is its decimal number on one line; the
// receiver answers "ok" after handling it, so a sender waits for the work to be done).
#include <QObject>
#include <functional>
#include <memory>
#include <string>

class QLocalServer;

namespace kv {

// Messages between instances and from the options program.
enum tInstanceMessage : int {
  WM_CLOSE = 16,
  WM_QUERYENDSESSION = 17,
  WM_OPTIONS_CHANGED = 1026,
  WM_SHOW_INSTANCE = 1126,
};

std::string InstanceLockPath();
std::string InstanceSocketPath();

// Takes the lock when nobody holds it; false when another process does (or on failure).
class InstanceLock {
 public:
  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  bool Acquire(const std::string& path);
  bool Held() const { return fd_ >= 0; }
 private:
  int fd_ = -1;
};

// Listens for messages; calls handler on the main thread for each.
class InstanceServer : public QObject {
  Q_OBJECT
 public:
  using Handler = std::function<void(int message)>;
  explicit InstanceServer(Handler handler, QObject* parent = nullptr);
  ~InstanceServer() override;
  bool Listen(const std::string& path);
 private:
  void OnConnection();
  Handler handler_;
  QLocalServer* server_ = nullptr;
};

// Sends the messages in order, each waiting for the answer; false when no instance listens.
bool SendInstanceMessages(const std::string& path, std::initializer_list<int> messages,
                          int timeoutMs = 30000);

}  // namespace kv
