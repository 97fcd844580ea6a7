#pragma once
// A mail server on loopback (smtp_fixture.py, aiosmtpd) and the mails it received, decoded by
// Python's own mail parser; a test certificate authority for its TLS modes.
#include <QProcess>
#include <chrono>
#include <string>
#include <vector>

namespace kvtest {

struct ReceivedMail {
  struct Attachment {
    std::string name, type;
    int size = 0;
  };
  std::string from, headerTo, subject, text, login;  // text with LF line ends
  std::vector<std::string> to;  // the envelope's recipients
  std::vector<Attachment> attachments;
};

class MailPeer {
 public:
  // mode "plain", "starttls" or "implicit"; auth "user:password" makes a login necessary.
  explicit MailPeer(const std::string& mode, const std::string& auth = "", int port = 0);
  ~MailPeer();
  MailPeer(const MailPeer&) = delete;
  MailPeer& operator=(const MailPeer&) = delete;
  int Port() const { return port_; }
  // The mails received so far, after waiting up to wait for at least count of them.
  const std::vector<ReceivedMail>& Mails(size_t count = 0,
                                         std::chrono::milliseconds wait = std::chrono::seconds(10));

 private:
  QProcess process_;
  int port_ = 0;
  std::vector<ReceivedMail> mails_;
};

// A folder with a test authority (ca.pem) and the loopback server certificate it signed
// (server.pem, server.key), made once per test program.
const std::string& TestPki();

}  // namespace kvtest
