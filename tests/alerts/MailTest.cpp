// Alert mails against a real mail server on loopback (aiosmtpd): clear text, STARTTLS and
// implicit TLS with a test authority, with and without a login.
#include <gtest/gtest.h>

#include "AlertFixture.h"
#include "alerts/AlertMail.h"
#include "alerts/SmtpMail.h"
#include "core/DateTime.h"
#include "core/Process.h"
#include "settings/Language.h"
#include "support/MailPeer.h"
#include "support/RecordingUi.h"
#include "support/TestSupport.h"

namespace {

using namespace kv;
using namespace std::chrono_literals;
using kvtest::MailPeer;

tMailAccount Account(int port, tMailTls tls) {
  tMailAccount a;
  a.host = "127.0.0.1";
  a.port = port;
  a.tls = tls;
  a.from = "kelvara@localhost";
  a.to = {"admin@localhost", "ops@localhost"};
  if (tls != tMailTls::Clear) a.caFile = kvtest::TestPki() + "ca.pem";  // made once, when needed
  return a;
}

struct TransportCase {
  const char* mode;
  tMailTls tls;
  const char* auth;  // "" for none
};

void PrintTo(const TransportCase& c, std::ostream* os) { *os << c.mode; }

class MailTransport : public testing::TestWithParam<TransportCase> {};

// The mail arrives whole: both recipients, the subject with its degree sign, a text whose
// long, dotted, blank-ended and '=' lines survive the encoding, the picture, the login.
TEST_P(MailTransport, MailArrivesWithRecipientsSubjectTextAndPicture) {
  const TransportCase& c = GetParam();
  MailPeer server(c.mode, c.auth);
  tMailAccount account = Account(server.Port(), c.tls);
  account.auth = *c.auth != 0;
  account.user = "kv";
  account.password = "s3cr3t!";
  const std::string body = "CPU: 90 °C (alert above 50 °C) - ALERT\n.a line with a dot\ntrailing blanks  \n" +
                           std::string(100, '=') + "\n" + std::string(150, 'x') + "ä\nend";
  const tMailMessage message{"Kelvara alert: CPU 90 °C above 50 °C", body,
                             {{"kvlight.png", "image/png", std::string(3000, '\x89')}}};
  const std::atomic<bool> cancel{false};
  SendMail(account, ComposeMail(account, message, 1700000000), cancel);

  const std::vector<kvtest::ReceivedMail>& mails = server.Mails(1);
  ASSERT_EQ(mails.size(), 1u);
  const kvtest::ReceivedMail& m = mails[0];
  EXPECT_EQ(m.from, "kelvara@localhost");
  EXPECT_EQ(m.to, (std::vector<std::string>{"admin@localhost", "ops@localhost"}));
  EXPECT_EQ(m.headerTo, "admin@localhost, ops@localhost");
  EXPECT_EQ(m.subject, message.subject);
  EXPECT_EQ(m.text, body);
  ASSERT_EQ(m.attachments.size(), 1u);
  EXPECT_EQ(m.attachments[0].name, "kvlight.png");
  EXPECT_EQ(m.attachments[0].type, "image/png");
  EXPECT_EQ(m.attachments[0].size, 3000);
  EXPECT_EQ(m.login, *c.auth ? "kv" : "");
}

INSTANTIATE_TEST_SUITE_P(Modes, MailTransport,
                         testing::Values(TransportCase{"plain", tMailTls::Clear, ""},
                                         TransportCase{"starttls", tMailTls::StartTls, "kv:s3cr3t!"},
                                         TransportCase{"implicit", tMailTls::Implicit, "kv:s3cr3t!"}),
                         [](const auto& p) { return std::string(p.param.mode); });

// Every way a mail fails says why.
TEST(MailFailure, EachFailureGivesItsReason) {
  MailPeer login("starttls", "kv:right");
  MailPeer plain("plain");
  MailPeer implicit("implicit");
  struct {
    const char* name;
    int port;
    tMailTls tls;
    void (*change)(tMailAccount&);
    const char* reason;
  } cases[] = {
      {"refused login", login.Port(), tMailTls::StartTls,
       [](tMailAccount& a) { a.auth = true, a.user = "kv", a.password = "wrong"; }, "Login denied (535 "},
      {"unreachable server", kvtest::FreePort(), tMailTls::Clear, nullptr, "Failed to connect to 127.0.0.1 port"},
      {"no STARTTLS offered", plain.Port(), tMailTls::StartTls, nullptr, "STARTTLS"},
      {"untrusted certificate", implicit.Port(), tMailTls::Implicit,
       [](tMailAccount& a) { a.caFile.clear(); }, "certificate"},
      {"password in clear text to another machine", 25, tMailTls::Clear,
       [](tMailAccount& a) { a.host = "192.0.2.1", a.auth = true, a.user = "kv", a.password = "pw"; },
       "only over TLS"},
      {"broken address", plain.Port(), tMailTls::Clear,
       [](tMailAccount& a) { a.to = {"admin@localhost\r\nBcc: x@y"}; }, "Not a mail address: \"admin@localhost\\r\\nBcc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    tMailAccount account = Account(c.port, c.tls);
    if (c.change) c.change(account);
    const std::atomic<bool> cancel{false};
    try {
      SendMail(account, ComposeMail(account, TestMailMessage(DateTimeFromUnixMs(1700000000000), true), 1700000000), cancel);
      ADD_FAILURE() << "sent";
    } catch (const MailError& e) {
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
      EXPECT_EQ(std::string(e.what()).find("wrong"), std::string::npos);
    }
  }
  EXPECT_TRUE(plain.Mails().empty());
}

class AlertMailTest : public kvtest::AlertTest {
 protected:
  void SetUp() override {
    AlertTest::SetUp();
    Process.AppDir = std::string(KV_BIN_DIR) + "/";
    ResetTexts();
    LoadLanguage(Process, EnglishLanguageFile);
    Settings.AlertNotify = false;
    Settings.AlertMail = true;
    Settings.AlertPasses = 1;
    Settings.SMTPHost = "127.0.0.1";
    Settings.SMTPTLS = 0;
    Settings.MailFrom = "kelvara@localhost";
    Settings.MailTo = "admin@localhost";
    Settings.TCfg[0].AlertHigh = 5000;
  }
  void TearDown() override {
    mailer.Stop(5s);
    AlertTest::TearDown();
  }
  // One pass of T1; what starts or ends is mailed.
  void PassT1(int16_t value) {
    Readings.T[0] = value;
    for (const tAlertEvent& e : alerts.Evaluate()) mailer.Mail(e);
  }
  bool StatusSeen(const std::string& text) {
    return kvtest::SpinUntil([&] { return ui.status.find(text) != std::string::npos; }, 10s);
  }

  FakeClock clock{1700000000000};
  tAlertMailer mailer{Display(), alerts, clock, ui};
};

// At most ten mails an hour, then one notice and nothing more; an hour later they flow again
// and say how many events went unmailed.
TEST_F(AlertMailTest, StartAndEndAreMailedWithinTheRateLimit) {
  MailPeer server("plain");
  Settings.SMTPPort = server.Port();
  for (int i = 0; i < 8; ++i) {
    PassT1(9000);
    PassT1(4000);
  }
  std::vector<kvtest::ReceivedMail> mails = server.Mails(MaxAlertMailsPerHour + 2, 2s);
  ASSERT_EQ(mails.size(), MaxAlertMailsPerHour + 1u);
  EXPECT_EQ(mails[0].subject, "Kelvara alert: T1 90 °C above 50 °C");
  EXPECT_EQ(mails[0].to, std::vector<std::string>{"admin@localhost"});
  EXPECT_NE(mails[0].text.find("T1: 90 °C (alert above 50 °C) - ALERT"), std::string::npos) << mails[0].text;
  ASSERT_EQ(mails[0].attachments.size(), 1u);  // the light, which is saved by default
  EXPECT_EQ(mails[0].attachments[0].name, "kvlight.png");
  EXPECT_GT(mails[0].attachments[0].size, 100);
  EXPECT_EQ(mails[1].subject, "Kelvara alert ended: T1 40 °C below 50 °C");
  EXPECT_NE(mails[1].text.find("T1: 40 °C (alert above 50 °C)\n"), std::string::npos) << mails[1].text;
  EXPECT_EQ(mails[MaxAlertMailsPerHour].subject, "Kelvara alert: further alerts suppressed");
  EXPECT_TRUE(StatusSeen("Mail sent successfully"));
  EXPECT_NE(ui.status.find("Sending mail..."), std::string::npos);

  clock.Advance(3600 * 1000);
  PassT1(9000);
  mails = server.Mails(MaxAlertMailsPerHour + 2);
  ASSERT_EQ(mails.size(), MaxAlertMailsPerHour + 2u);
  EXPECT_NE(mails.back().text.find("5 alert event(s) before this one were not mailed"), std::string::npos)
      << mails.back().text;
}

// A mail that cannot go out shows its reason in the status line and the log; an account
// without a recipient says so before any connection.
TEST_F(AlertMailTest, FailedSendIsShownAndLoggedWithItsReason) {
  Settings.SMTPPort = kvtest::FreePort();
  PassT1(9000);
  EXPECT_TRUE(StatusSeen("Mail failed (\"Failed to connect to 127.0.0.1 port"));
  EXPECT_TRUE(kvtest::SpinUntil([&] { return Log().find("am2 Failed to connect") != std::string::npos; }, 5s));

  Settings.MailTo = " , ";
  PassT1(4000);
  EXPECT_TRUE(StatusSeen("No mail recipient given"));
  EXPECT_NE(Log().find("am1 No mail recipient entered"), std::string::npos);
}

}  // namespace
