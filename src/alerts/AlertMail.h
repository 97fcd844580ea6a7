#pragma once
// Alerts by mail: one mail at an alert's start and one at its end, each tried once, sent by a
// worker thread; at most MaxAlertMailsPerHour an hour, then one notice and silence until the
// hour has room again.
#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

#include <QObject>

#include "alerts/Alerts.h"
#include "alerts/SmtpMail.h"
#include "core/DateTime.h"
#include "displays/DisplayData.h"

namespace kv {

class UiPort;

constexpr int MaxAlertMailsPerHour = 10;

class tMailRateLimit {
 public:
  enum class tVerdict { Mail, Notice, Drop };
  // An event at monotonicMs: mailed while fewer than MaxAlertMailsPerHour went out in the hour
  // before; the first one beyond that gets the notice, the rest nothing.
  tVerdict Admit(int64_t monotonicMs);
  // Events that got no mail of their own since the last one that did.
  int Suppressed() const { return suppressed_; }

 private:
  std::deque<int64_t> sent_;
  bool noticed_ = false;
  int suppressed_ = 0;
};

// "Kelvara alert: CPU 82.5 °C above 80 °C"; at the end "Kelvara alert ended: CPU 75 °C below
// 80 °C"; a failing step "Kelvara alert: Step Net keeps failing". Temperatures in °F unless
// celsius.
std::string AlertMailSubject(const tAlertEvent& event, bool celsius);
// The options program's test mail, written at now (UTC), shown in UTC or local time.
tMailMessage TestMailMessage(TDateTime now, bool timeInUtc);

class tAlertMailer {
 public:
  // The account, the light and the time zone come from display's settings; the readings with
  // alerts from alerts.
  tAlertMailer(tDisplayData display, const tAlerts& alerts, const Clock& clock, UiPort& ui);
  tAlertMailer(const tAlertMailer&) = delete;
  tAlertMailer& operator=(const tAlertMailer&) = delete;

  // Main thread, for an event while AlertMail is on: an account that cannot send shows why in
  // the status line; otherwise the rate limit decides, the mail (with the light when it is
  // saved) goes to the sender, and its outcome reaches the log and the status line.
  void Mail(const tAlertEvent& event);
  // At the shut-down: mails under way get grace to finish.
  void Stop(std::chrono::milliseconds grace) { sender_.Stop(grace); }

 private:
  // The mail of one event: the event, the host, the time and every reading that has an alert;
  // suppressed counts the events the rate limit kept from mailing before it.
  tMailMessage EventMessage(const tAlertEvent& event, int suppressed) const;
  // The one mail that says the rate limit holds back the next ones.
  tMailMessage SuppressedMessage(const tAlertEvent& event) const;
  std::string Body(const std::string& head) const;
  std::string ReadingLines() const;
  void AttachLight(tMailMessage& message) const;

  tDisplayData display_;
  const tAlerts& alerts_;
  const Clock& clock_;
  UiPort& ui_;
  QObject context_;  // the sender's reports are queued on it: dropped once the mailer is gone
  tMailRateLimit limit_;
  tMailSender sender_;  // last: its thread ends before anything it reports to
};

}  // namespace kv
