#pragma once
// One running instance per user: a lock that dies with its process, and a local socket that
// carries the messages between instances (a message is its decimal number on one line; the
// receiver answers "ok" after handling it, so a sender waits for the work to be done).
#include <QObject>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

class QSocketNotifier;
class QTimer;

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

// One line from a peer, without its line end: a decimal number with optional blanks around it.
// nullopt for anything else, including numbers that do not fit an int.
std::optional<int> ParseInstanceLine(std::string_view line);

// True when another process holds the lock at path; looks without creating anything.
bool InstanceRunning(const std::string& lockPath);

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

// Any local process of the user can connect, so connections are bounded in number and time.
struct tInstanceLimits {
  int maxConnections = 16;  // a new connection beyond this closes the oldest
  int idleMs = 5000;        // a connection that sends nothing for this long is closed
  int checkMs = 30000;      // how often the socket file is checked and, when gone, made again
};

// Listens for messages; calls handler on the main thread for each.
class InstanceServer : public QObject {
  Q_OBJECT
 public:
  using Handler = std::function<void(int message)>;
  explicit InstanceServer(Handler handler, QObject* parent = nullptr, tInstanceLimits limits = {});
  ~InstanceServer() override;
  bool Listen(const std::string& path);
  // Connections open at the moment.
  int Connections();
 private:
  struct tConnection;
  void OnConnection();
  void OnReadable(uint64_t id);
  void Drop(uint64_t id);
  tConnection* Find(uint64_t id);
  void CheckSocketFile();
  bool ListenAgain();
  void CloseListener();
  Handler handler_;
  tInstanceLimits limits_;
  int listenFd_ = -1;
  QSocketNotifier* listenNotifier_ = nullptr;
  QTimer* check_ = nullptr;
  std::string path_;
  dev_t dev_ = 0;
  ino_t ino_ = 0;
  uint64_t nextId_ = 1;
  std::deque<std::unique_ptr<tConnection>> open_;  // oldest first
};

// Sends the messages in order, each waiting for the answer; false when no instance listens.
bool SendInstanceMessages(const std::string& path, std::initializer_list<int> messages,
                          int timeoutMs = 30000);

// Delivers one message without waiting for it to be handled (the receiver may be this very
// process): connects, writes the line, waits briefly for it to leave, closes. False when no
// instance listens or the line could not be written.
bool PostInstanceMessage(const std::string& path, int message);

}  // namespace kv
