#include "alerts/AlertActions.h"

#include <cstdio>

#include "alerts/AlertCommand.h"
#include "alerts/AlertMail.h"
#include "alerts/DesktopNotification.h"
#include "core/EventLog.h"
#include "core/Process.h"
#include "core/UiPort.h"
#include "settings/Settings.h"

namespace kv {

tAlertActions::tAlertActions(tDisplayData display, const tAlerts& alerts, const Clock& clock, UiPort& ui,
                             std::unique_ptr<tDesktopNotifier> notifier)
    : settings_(display.Settings),
      process_(display.Process),
      ui_(ui),
      notifier_(std::move(notifier)),
      mailer_(display, alerts, clock, ui) {}

tAlertActions::~tAlertActions() = default;

tDesktopNotifier& tAlertActions::Notifier() {
  if (!notifier_) notifier_ = std::make_unique<tDesktopNotifier>();
  return *notifier_;
}

std::vector<std::string> AlertCommandArgs(const std::vector<std::string>& command, const tAlertEvent& event,
                                          bool celsius) {
  const tAlertRule& r = event.alert.rule;
  std::vector<std::string> argv = command;
  argv.push_back(event.started ? "start" : "end");
  argv.push_back(r.channel);
  argv.push_back(AlertValueText(r.quantity, event.alert.value, celsius));
  argv.push_back(AlertValueText(r.quantity, ShownLimit(r), celsius));
  return argv;
}

void tAlertActions::Run(const tAlertEvent& event) {
  LogEvent(event.line);
  // Under systemd standard error goes to the journal.
  if (process_.HeadlessMode) std::fprintf(stderr, "kelvara: %s\n", event.line.c_str());
  try {
    ui_.ShowStatus(event.line);
  } catch (const std::exception& e) {
    LogError("al1 ", e);
  }
  if (settings_.AlertNotify) {
    try {
      Notifier().Notify(event.alert.rule.id, event.summary, event.body);
    } catch (const std::exception& e) {
      LogError("al4 ", e);
    }
  }
  if (settings_.AlertMail) {
    try {
      mailer_.Mail(event);
    } catch (const std::exception& e) {
      LogError("al5 ", e);
    }
  }
  const std::vector<std::string> command = SplitCommandLine(settings_.AlertCommand);
  if (!command.empty())
    command_.Run(AlertCommandArgs(command, event, settings_.Celsius), std::chrono::seconds(settings_.AlertTimeout),
                 process_.AppDir);
}

}  // namespace kv
