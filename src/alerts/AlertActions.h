#pragma once
// What happens when an alert starts or ends: the event log, standard error in headless mode,
// the status line, a desktop notification and the user's command.
#include <memory>
#include <string>
#include <vector>

#include "alerts/Alerts.h"

namespace kv {

class tAlertCommand;
class tDesktopNotifier;

// Every action of the settings for one event. Main thread only.
void RunAlertActions(const tAlertEvent& event);
// The command's arguments after the user's own words: "start" or "end", the channel, the value
// and the limit as the user reads them.
std::vector<std::string> AlertCommandArgs(const std::vector<std::string>& command, const tAlertEvent& event);
// The program's notifier and command runner; a test may point the notifier at its own bus.
tDesktopNotifier& AlertNotifier();
void SetAlertNotifier(std::unique_ptr<tDesktopNotifier> notifier);
tAlertCommand& AlertCommand();

}  // namespace kv
