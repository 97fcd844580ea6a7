#include "alerts/AlertActions.h"

#include <cstdio>

#include "alerts/AlertCommand.h"
#include "alerts/DesktopNotification.h"
#include "core/EventLog.h"
#include "core/Process.h"
#include "core/UiPort.h"
#include "settings/Settings.h"

namespace kv {

namespace {

std::unique_ptr<tDesktopNotifier>& Notifier() {
  static std::unique_ptr<tDesktopNotifier> notifier;
  return notifier;
}

}  // namespace

tDesktopNotifier& AlertNotifier() {
  if (!Notifier()) Notifier() = std::make_unique<tDesktopNotifier>();
  return *Notifier();
}

void SetAlertNotifier(std::unique_ptr<tDesktopNotifier> notifier) { Notifier() = std::move(notifier); }

tAlertCommand& AlertCommand() {
  static tAlertCommand command;
  return command;
}

std::vector<std::string> AlertCommandArgs(const std::vector<std::string>& command, const tAlertEvent& event) {
  const tAlertRule& r = event.alert.rule;
  std::vector<std::string> argv = command;
  argv.push_back(event.started ? "start" : "end");
  argv.push_back(r.channel);
  argv.push_back(AlertValueText(r.quantity, event.alert.value));
  argv.push_back(AlertValueText(r.quantity, ShownLimit(r)));
  return argv;
}

void RunAlertActions(const tAlertEvent& event) {
  LogEvent(event.line);
  // Under systemd standard error goes to the journal.
  if (HeadlessMode) std::fprintf(stderr, "kelvara: %s\n", event.line.c_str());
  try {
    Ui().ShowStatus(event.line);
  } catch (const std::exception& e) {
    LogError("al1 ", e);
  }
  if (Settings.AlertNotify) {
    try {
      AlertNotifier().Notify(event.alert.rule.id, event.summary, event.body);
    } catch (const std::exception& e) {
      LogError("al4 ", e);
    }
  }
  const std::vector<std::string> command = SplitCommandLine(Settings.AlertCommand);
  if (!command.empty())
    AlertCommand().Run(AlertCommandArgs(command, event), std::chrono::seconds(Settings.AlertTimeout));
}

}  // namespace kv
