#include "alerts/AlertMail.h"

#include <QImage>
#include <QMetaObject>
#include <algorithm>
#include <memory>

#include "alerts/AlertUnits.h"
#include "core/DateTime.h"
#include "core/EventLog.h"
#include "core/UiPort.h"
#include "displays/Light.h"
#include "displays/PngFile.h"
#include "platform/System.h"
#include "settings/Language.h"
#include "settings/Settings.h"

namespace kv {

namespace {

constexpr int64_t HourMs = 3600 * 1000;

std::string Host() {
  const std::string host = HostName();
  return host.empty() ? "this machine" : host;
}

std::string TimeText(TDateTime utc, bool timeInUtc) { return DateTimeText(DisplayTime(utc, timeInUtc)); }

// The status text and the log line of an account that cannot send.
std::pair<std::string, std::string> ProblemTexts(const tTexts& t, const std::string& key) {
  if (key == "NoSMTPHost") return {t.NoSMTPHost, "No SMTP hostname entered"};
  if (key == "NoSMTPUser") return {t.NoSMTPUser, "No SMTP username entered"};
  if (key == "NoSMTPPassword") return {t.NoSMTPPassword, "No SMTP password entered"};
  return {t.NoMailTo, "No mail recipient entered"};
}

}  // namespace

tMailRateLimit::tVerdict tMailRateLimit::Admit(int64_t now) {
  while (!sent_.empty() && now - sent_.front() >= HourMs) sent_.pop_front();
  if (static_cast<int>(sent_.size()) < MaxAlertMailsPerHour) {
    sent_.push_back(now);
    noticed_ = false;
    suppressed_ = 0;
    return tVerdict::Mail;
  }
  if (noticed_) {
    ++suppressed_;
    return tVerdict::Drop;
  }
  noticed_ = true;
  return tVerdict::Notice;
}

std::string AlertMailSubject(const tAlertEvent& event, bool celsius) {
  const tAlertRule& r = event.alert.rule;
  std::string what = event.summary;
  if (r.quantity != tAlertQuantity::StepFailures) {
    // Said as it is: an alert that ends because its rule was switched off may still be beyond.
    const int64_t v = event.alert.value;
    const char* side = v > r.limit ? " above " : v < r.limit ? " below " : " at ";
    what = r.channel + " " + AlertValueText(r.quantity, v, celsius) + side + AlertValueText(r.quantity, r.limit, celsius);
  }
  return (event.started ? "Kelvara alert: " : "Kelvara alert ended: ") + what;
}

tMailMessage TestMailMessage(TDateTime now, bool timeInUtc) {
  return {"Kelvara test mail", "This test mail from Kelvara on " + Host() + " (" + TimeText(now, timeInUtc) +
                                   ") shows that alert mails reach you.\n\n-- \nKelvara\n", {}};
}

tAlertMailer::tAlertMailer(tDisplayData display, const tAlerts& alerts, const Clock& clock, UiPort& ui)
    : display_(display), alerts_(alerts), clock_(clock), ui_(ui) {}

// One line per reading that has an alert, its state beside it.
std::string tAlertMailer::ReadingLines() const {
  const bool celsius = display_.Settings.Celsius;
  std::vector<std::string> active;
  for (const tActiveAlert& a : alerts_.Active()) active.push_back(a.rule.id);
  std::string out;
  for (const tAlertCheck& c : alerts_.Checks()) {
    const tAlertRule& r = c.rule;
    std::string line = "  " + r.channel + ": ";
    if (r.quantity == tAlertQuantity::StepFailures) {
      line += !c.value ? "not read" : *c.value ? "failed" : "read";
    } else {
      line += c.value ? AlertValueText(r.quantity, *c.value, celsius) : "no reading";
      line += std::string(" (alert ") + (r.high ? "above " : "below ") + AlertValueText(r.quantity, r.limit, celsius) +
              ")";
    }
    if (std::find(active.begin(), active.end(), r.id) != active.end()) line += " - ALERT";
    out += line + "\n";
  }
  return out.empty() ? "  none\n" : out;
}

std::string tAlertMailer::Body(const std::string& head) const {
  return head + "\n\nHost: " + Host() + "\nTime: " + TimeText(clock_.UtcNow(), display_.Settings.TimeInUTC) +
         "\n\nReadings with alerts:\n" + ReadingLines() + "\n-- \nKelvara\n";
}

// The light as the window shows it now, when the user saves one.
void tAlertMailer::AttachLight(tMailMessage& message) const {
  if (!display_.Settings.SaveLight) return;
  try {
    QImage image;
    DrawLight(image, display_);
    tMailAttachment light{"kvlight.png", "image/png", {}};
    std::string error;
    if (!EncodePng(image, light.bytes, error)) throw std::runtime_error(error);
    message.attachments.push_back(std::move(light));
  } catch (const std::exception& e) {
    LogError("am4 ", e);
  }
}

tMailMessage tAlertMailer::EventMessage(const tAlertEvent& event, int suppressed) const {
  std::string head = event.line;
  if (suppressed > 0)
    head += "\n\n" + std::to_string(suppressed) + " alert event(s) before this one were not mailed: more than " +
            std::to_string(MaxAlertMailsPerHour) + " mails within an hour.";
  return {AlertMailSubject(event, display_.Settings.Celsius), Body(head), {}};
}

tMailMessage tAlertMailer::SuppressedMessage(const tAlertEvent& event) const {
  return {"Kelvara alert: further alerts suppressed",
          Body("More than " + std::to_string(MaxAlertMailsPerHour) +
               " alert mails within an hour: the next alerts are not mailed until the hour has room again. "
               "The event that this mail stands for:\n" + event.line),
          {}};
}

void tAlertMailer::Mail(const tAlertEvent& event) {
  const std::shared_ptr<const tTexts> texts = Texts();
  const tSettings& settings = display_.Settings;
  const tMailAccount account = MailAccount(settings);
  if (const std::string problem = MailAccountProblem(account); !problem.empty()) {
    const auto [status, log] = ProblemTexts(*texts, problem);
    LogEvent("am1 " + log);
    ui_.ShowStatus(status);
    return;
  }
  const int suppressed = limit_.Suppressed();
  tMailMessage message;
  switch (limit_.Admit(clock_.MonotonicMs())) {
    case tMailRateLimit::tVerdict::Drop:
      LogEvent("Not mailed (more than " + std::to_string(MaxAlertMailsPerHour) + " mails an hour): " + event.line);
      return;
    case tMailRateLimit::tVerdict::Notice:
      message = SuppressedMessage(event);
      break;
    case tMailRateLimit::tVerdict::Mail:
      message = EventMessage(event, suppressed);
      break;
  }
  AttachLight(message);
  const std::string subject = message.subject;
  const std::string text = ComposeMail(account, message, clock_.UtcMs() / 1000);
  LogEvent("Sending mail \"" + subject + "\" to " + settings.MailTo);
  ui_.ShowStatus(texts->SendingMail);
  const bool queued = sender_.Send(account, text, [this, texts, subject](const std::string& error) {
    if (error.empty()) LogEvent("Mail sent: " + subject);
    else LogEvent("am2 " + error);
    QMetaObject::invokeMethod(
        &context_,
        [&ui = ui_, texts, error] {
          ui.ShowStatus(error.empty() ? texts->SentMailSuccessfully : texts->MailFailed + " (\"" + error + "\")");
        },
        Qt::QueuedConnection);
  });
  if (!queued) LogEvent("am3 too many mails waiting; not sent: " + subject);
}

}  // namespace kv
