#pragma once
// What happens when an alert starts or ends: the event log, standard error in headless mode,
// the status line, a desktop notification, the user's command and a mail.
#include <memory>
#include <string>
#include <vector>

#include "alerts/AlertCommand.h"
#include "alerts/AlertMail.h"
#include "alerts/Alerts.h"
#include "alerts/DesktopNotification.h"
#include "core/DateTime.h"
#include "core/Process.h"
#include "displays/DisplayData.h"

namespace kv {

struct tSettings;

class UiPort;

// The command's arguments after the user's own words: "start" or "end", the channel, the value
// and the limit as the user reads them.
std::vector<std::string> AlertCommandArgs(const std::vector<std::string>& command, const tAlertEvent& event,
                                          bool celsius);

// Every action the settings ask for, for one event. Main thread only.
class tAlertActions {
 public:
  // The settings and folders are display's; an alert mail shows display's light and the
  // readings alerts watches. notifier: the session bus's unless one is given.
  tAlertActions(tDisplayData display, const tAlerts& alerts, const Clock& clock, UiPort& ui,
                std::unique_ptr<tDesktopNotifier> notifier = nullptr);
  ~tAlertActions();
  tAlertActions(const tAlertActions&) = delete;
  tAlertActions& operator=(const tAlertActions&) = delete;

  void Run(const tAlertEvent& event);
  tAlertCommand& Command() { return command_; }
  tAlertMailer& Mailer() { return mailer_; }

 private:
  tDesktopNotifier& Notifier();

  const tSettings& settings_;
  const tProcessFacts& process_;
  UiPort& ui_;
  std::unique_ptr<tDesktopNotifier> notifier_;
  tAlertCommand command_;
  tAlertMailer mailer_;
};

}  // namespace kv
