#pragma once
// Desktop notifications through the freedesktop notification service on the session bus. The
// call is asynchronous; no bus, no service or an error reply shows nothing and reports nothing.
#include <QDBusConnection>
#include <map>
#include <memory>
#include <string>

namespace kv {

class tDesktopNotifier {
 public:
  tDesktopNotifier();  // the session bus, connected on first use
  explicit tDesktopNotifier(const QDBusConnection& bus);

  // Shows summary and body. The notification of the same key (an alert's start) is replaced by
  // its follower (the alert's end) when the server has told its id by then.
  void Notify(const std::string& key, const std::string& summary, const std::string& body);

 private:
  std::unique_ptr<QDBusConnection> bus_;
  std::shared_ptr<std::map<std::string, uint>> ids_;
};

}  // namespace kv
