#pragma once
// Mail by SMTP through libcurl: the account the settings describe, the message as MIME text,
// and a sender that works on a thread of its own. The password goes to libcurl and nowhere
// else: never into an argument vector, a log line or a status text.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace kv {

struct tSettings;

enum class tMailTls { Clear = 0, StartTls = 1, Implicit = 2 };

struct tMailAccount {
  std::string host;
  int port = 25;
  tMailTls tls = tMailTls::StartTls;
  bool auth = false;
  std::string user, password;
  std::string from;
  std::vector<std::string> to;
  bool verifyTLS = true;
  std::string caFile;  // the authorities to trust; empty: the system's
};

// The [SMTP] account of the settings, with [FTP] VerifyTLS. An SMTPTLS outside 0..2 is 1 (the
// safe default, never clear text); an empty MailFrom is "kelvara@" and the host name.
tMailAccount MailAccount(const tSettings& s);
// The addresses of a comma-separated list, trimmed, empty ones left out.
std::vector<std::string> SplitMailAddresses(const std::string& list);
// The [Messages] key of what keeps the account from sending ("NoSMTPHost", "NoSMTPUser",
// "NoSMTPPassword", "NoMailTo"); "" when nothing does.
std::string MailAccountProblem(const tMailAccount& account);

struct tMailAttachment {
  std::string name, type, bytes;
};
struct tMailMessage {
  std::string subject, body;  // UTF-8
  std::vector<tMailAttachment> attachments;
};

// The message as it goes over the wire: headers (the subject as an encoded word), the body as
// quoted-printable UTF-8, attachments in Base64, CR LF line ends. Control characters never
// reach a header. unixSeconds: the Date header's time (UTC).
std::string ComposeMail(const tMailAccount& account, const tMailMessage& message, int64_t unixSeconds);

// The reason a mail did not go out, as libcurl and the server's last reply tell it.
class MailError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Sends text to every recipient. TLS 1.2 or later; the certificate is checked unless
// verifyTLS is off. Bounded: 15 s to connect, 15 s for each reply, 60 s in all; cancel ends it
// early. A password is sent in clear text only to this machine. Throws MailError.
void SendMail(const tMailAccount& account, const std::string& text, const std::atomic<bool>& cancel);

// Sends mails one after another on a worker thread, which runs only while mails wait.
class tMailSender {
 public:
  // Told on the worker thread how a mail went: error empty when it was sent.
  using tDone = std::function<void(const std::string& error)>;
  static constexpr size_t MaxWaiting = 16;

  tMailSender() = default;
  ~tMailSender() { Stop(); }
  tMailSender(const tMailSender&) = delete;
  tMailSender& operator=(const tMailSender&) = delete;

  // Queues a mail; false (and dropped) when MaxWaiting already wait.
  bool Send(tMailAccount account, std::string text, tDone done);
  // Waits up to grace for the waiting mails, then drops the rest unsent (their done is not
  // called), ends the one under way and waits for the thread.
  void Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(0));

 private:
  struct tJob {
    tMailAccount account;
    std::string text;
    tDone done;
  };
  void Work();

  std::mutex mutex_;
  std::condition_variable idle_;
  std::deque<tJob> jobs_;
  bool busy_ = false;  // the worker runs (or is about to)
  std::atomic<bool> cancel_{false};
  std::thread worker_;
};

}  // namespace kv
