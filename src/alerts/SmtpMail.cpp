#include "alerts/SmtpMail.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>

#include "core/CurlLibrary.h"
#include "core/Text.h"
#include "platform/System.h"
#include "settings/Scramble.h"
#include "settings/Settings.h"

namespace kv {

namespace {

constexpr long ConnectSeconds = 15;
constexpr long ReplySeconds = 15;
constexpr long TotalSeconds = 60;
constexpr size_t MaxLine = 76;  // of an encoded body line, soft break included

const char* const Crlf = "\r\n";

// What may stand in a header: no line breaks or other control characters.
std::string HeaderText(std::string_view text) {
  std::string out;
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) out += c;
  return out;
}

// A bare address as SMTP and the headers carry it: printable ASCII without blanks and without
// the characters that delimit addresses and comments.
bool PlainAddress(const std::string& a) {
  if (a.empty() || a.size() > 254) return false;
  for (char c : a)
    if (c <= 0x20 || c >= 0x7F || std::strchr("<>()[],;:\\\"", c)) return false;
  return true;
}

bool Printable(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

// The subject as it is, or as RFC 2047 encoded words of whole UTF-8 characters, one per
// folded line.
std::string EncodedSubject(const std::string& subject) {
  const std::string text = HeaderText(subject);
  if (Printable(text) && text.size() <= 70) return text;
  std::string out;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = std::min(text.size(), at + 45);
    size_t cut = end;
    while (cut > at && cut < text.size() && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    if (cut > at) end = cut;  // a long run of stray continuation bytes is cut anywhere
    if (!out.empty()) out += "\r\n ";
    out += "=?UTF-8?B?" + Base64Encode(text.substr(at, end - at)) + "?=";
    at = end;
  }
  return out;
}

std::string QuotedPrintable(const std::string& text) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string encoded;
    for (size_t i = 0; i < line.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(line[i]);
      const bool last = i + 1 == line.size();
      std::string piece;
      // A blank at a line's end would be lost on the way; a dot at its start could end the
      // mail for a careless relay.
      if ((c >= 33 && c <= 126 && c != '=' && !(c == '.' && encoded.empty())) || ((c == ' ' || c == '\t') && !last))
        piece = std::string(1, static_cast<char>(c));
      else
        piece = {'=', hex[c >> 4], hex[c & 15]};
      if (encoded.size() + piece.size() > MaxLine - 1) {
        out += encoded + "=" + Crlf;
        encoded.clear();
        if (piece == ".") piece = "=2E";
      }
      encoded += piece;
    }
    out += encoded + Crlf;
    if (end == text.size()) break;
    start = end + 1;
  }
  return out;
}

std::string Base64Lines(const std::string& bytes) {
  const std::string all = Base64Encode(bytes);
  std::string out;
  for (size_t at = 0; at < all.size(); at += MaxLine) out += all.substr(at, MaxLine) + Crlf;
  return out;
}

std::string DateHeader(int64_t unixSeconds) {
  const std::time_t t = static_cast<std::time_t>(unixSeconds);
  std::tm utc{};
  gmtime_r(&t, &utc);
  static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d +0000", days[utc.tm_wday], utc.tm_mday,
                months[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec);
  return buf;
}

std::string RandomToken() {
  std::random_device random;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%08x%08x", random(), random());
  return buf;
}

std::string Domain(const std::string& address) {
  const size_t at = address.rfind('@');
  return at == std::string::npos ? "localhost" : address.substr(at + 1);
}

bool Loopback(const std::string& host) {
  return host == "localhost" || host.starts_with("127.") || host == "::1" || host == "[::1]";
}

// One transfer's state for the callbacks.
struct tTransfer {
  const std::string* text = nullptr;
  size_t sent = 0;
  const std::atomic<bool>* cancel = nullptr;
  std::string partial;    // an unfinished reply line
  std::string lastReply;  // the server's last whole reply line
};

size_t OnRead(char* buffer, size_t size, size_t count, void* data) {
  auto* t = static_cast<tTransfer*>(data);
  const size_t n = std::min(size * count, t->text->size() - t->sent);
  std::memcpy(buffer, t->text->data() + t->sent, n);
  t->sent += n;
  return n;
}

int OnTrace(CURL*, curl_infotype type, char* data, size_t size, void* client) {
  // Only the server's replies are kept: what goes out carries the login.
  if (type != CURLINFO_HEADER_IN) return 0;
  auto* t = static_cast<tTransfer*>(client);
  t->partial.append(data, size);
  size_t eol;
  while ((eol = t->partial.find('\n')) != std::string::npos) {
    t->lastReply = t->partial.substr(0, eol);
    if (!t->lastReply.empty() && t->lastReply.back() == '\r') t->lastReply.pop_back();
    t->partial.erase(0, eol + 1);
  }
  if (t->partial.size() > 4096) t->partial.clear();  // no reply line is that long
  return 0;
}

int OnProgress(void* data, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<tTransfer*>(data)->cancel->load() ? 1 : 0;
}

}  // namespace

std::vector<std::string> SplitMailAddresses(const std::string& list) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    const std::string a = Trim(std::string_view(list).substr(start, end - start));
    if (!a.empty()) out.push_back(a);
    start = end + 1;
  }
  return out;
}

tMailAccount MailAccount(const tSettings& s) {
  tMailAccount a;
  a.host = Trim(s.SMTPHost);
  a.port = s.SMTPPort;
  a.tls = s.SMTPTLS == 0 ? tMailTls::Clear : s.SMTPTLS == 2 ? tMailTls::Implicit : tMailTls::StartTls;
  a.auth = s.SMTPAuth;
  a.user = s.SMTPUser;
  a.password = s.SMTPPass;
  a.from = Trim(s.MailFrom);
  if (a.from.empty()) {
    const std::string host = HostName();
    a.from = "kelvara@" + (host.empty() ? std::string("localhost") : host);
  }
  a.to = SplitMailAddresses(s.MailTo);
  a.verifyTLS = s.VerifyTLS;
  return a;
}

std::string MailAccountProblem(const tMailAccount& a) {
  if (a.host.empty()) return "NoSMTPHost";
  if (a.auth && a.user.empty()) return "NoSMTPUser";
  if (a.auth && a.password.empty()) return "NoSMTPPassword";
  if (a.to.empty()) return "NoMailTo";
  return "";
}

std::string ComposeMail(const tMailAccount& a, const tMailMessage& m, int64_t unixSeconds) {
  std::string to;
  for (const std::string& r : a.to) to += (to.empty() ? "" : ", ") + HeaderText(r);
  std::string out = "From: " + HeaderText(a.from) + Crlf + "To: " + to + Crlf + "Subject: " +
                    EncodedSubject(m.subject) + Crlf + "Date: " + DateHeader(unixSeconds) + Crlf +
                    "Message-ID: <" + RandomToken() + "." + std::to_string(unixSeconds) + "@" +
                    HeaderText(Domain(a.from)) + ">" + Crlf + "MIME-Version: 1.0" + Crlf;
  const std::string text = std::string("Content-Type: text/plain; charset=UTF-8") + Crlf +
                           "Content-Transfer-Encoding: quoted-printable" + Crlf + Crlf +
                           QuotedPrintable(m.body);
  if (m.attachments.empty()) return out + text;
  const std::string boundary = "kelvara-" + RandomToken();
  out += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"" + Crlf + Crlf;
  out += "--" + boundary + Crlf + text;
  for (const tMailAttachment& f : m.attachments) {
    std::string name;
    for (char c : HeaderText(f.name))
      if (c != '"' && c != '\\') name += c;
    out += "--" + boundary + Crlf + "Content-Type: " + HeaderText(f.type) + "; name=\"" + name + "\"" + Crlf +
           "Content-Disposition: attachment; filename=\"" + name + "\"" + Crlf +
           "Content-Transfer-Encoding: base64" + Crlf + Crlf + Base64Lines(f.bytes);
  }
  return out + "--" + boundary + "--" + Crlf;
}

void SendMail(const tMailAccount& a, const std::string& text, const std::atomic<bool>& cancel) {
  if (a.host.empty()) throw MailError("No SMTP server given");
  if (a.port < 1 || a.port > 65535) throw MailError("Not a valid SMTP port: " + std::to_string(a.port));
  if (a.to.empty()) throw MailError("No mail recipient given");
  std::vector<std::string> addresses = a.to;
  addresses.push_back(a.from);
  for (const std::string& x : addresses)
    if (!PlainAddress(x)) throw MailError("Not a mail address: \"" + LogExcerpt(x, 80) + "\"");
  if (a.auth && a.tls == tMailTls::Clear && !Loopback(a.host))
    throw MailError("The mail password goes only over TLS to another machine: choose STARTTLS or implicit TLS");

  const tCurlLibrary* lib = nullptr;
  try {
    lib = &CurlLibrary();  // the first mail loads libcurl
  } catch (const CurlLoadError& e) {
    throw MailError(e.what());
  }
  std::unique_ptr<CURL, void (*)(CURL*)> handle(lib->easy_init(), lib->easy_cleanup);
  if (!handle) throw MailError("Cannot create the mail client");
  curl_slist* recipients = nullptr;
  for (const std::string& r : a.to) recipients = lib->slist_append(recipients, ("<" + r + ">").c_str());
  std::unique_ptr<curl_slist, void (*)(curl_slist*)> rcpt(recipients, lib->slist_free_all);

  CURL* c = handle.get();
  const std::string host = a.host.find(':') != std::string::npos && !a.host.starts_with('[') ? "[" + a.host + "]" : a.host;
  const std::string url = (a.tls == tMailTls::Implicit ? "smtps://" : "smtp://") + host + ":" + std::to_string(a.port);
  const std::string from = "<" + a.from + ">";
  tTransfer transfer;
  transfer.text = &text;
  transfer.cancel = &cancel;
  char error[CURL_ERROR_SIZE] = {};
  lib->Set(c, CURLOPT_URL, url.c_str());
  lib->Set(c, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
  lib->Set(c, CURLOPT_NOSIGNAL, 1L);
  lib->Set(c, CURLOPT_ERRORBUFFER, error);
  lib->Set(c, CURLOPT_USE_SSL, static_cast<long>(a.tls == tMailTls::Clear ? CURLUSESSL_NONE : CURLUSESSL_ALL));
  lib->Set(c, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
  lib->Set(c, CURLOPT_SSL_VERIFYPEER, a.verifyTLS ? 1L : 0L);
  lib->Set(c, CURLOPT_SSL_VERIFYHOST, a.verifyTLS ? 2L : 0L);
  if (!a.caFile.empty()) {
    lib->Set(c, CURLOPT_CAINFO, a.caFile.c_str());
    lib->Set(c, CURLOPT_CAPATH, nullptr);
  }
  if (a.auth) {
    lib->Set(c, CURLOPT_USERNAME, a.user.c_str());
    lib->Set(c, CURLOPT_PASSWORD, a.password.c_str());
  }
  lib->Set(c, CURLOPT_MAIL_FROM, from.c_str());
  lib->Set(c, CURLOPT_MAIL_RCPT, rcpt.get());
  lib->Set(c, CURLOPT_UPLOAD, 1L);
  lib->Set(c, CURLOPT_READFUNCTION, OnRead);
  lib->Set(c, CURLOPT_READDATA, &transfer);
  lib->Set(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(text.size()));
  lib->Set(c, CURLOPT_VERBOSE, 1L);  // for the server's replies, which tell why a mail was refused
  lib->Set(c, CURLOPT_DEBUGFUNCTION, OnTrace);
  lib->Set(c, CURLOPT_DEBUGDATA, &transfer);
  lib->Set(c, CURLOPT_NOPROGRESS, 0L);
  lib->Set(c, CURLOPT_XFERINFOFUNCTION, OnProgress);
  lib->Set(c, CURLOPT_XFERINFODATA, &transfer);
  lib->Set(c, CURLOPT_CONNECTTIMEOUT, ConnectSeconds);
  lib->Set(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, ReplySeconds);
  lib->Set(c, CURLOPT_TIMEOUT, TotalSeconds);

  const CURLcode rc = lib->easy_perform(c);
  if (rc == CURLE_OK) return;
  if (cancel) throw MailError("Cancelled");
  std::string why = error[0] ? error : lib->easy_strerror(rc);
  const std::string& reply = transfer.lastReply;
  if (!reply.empty() && (reply[0] == '4' || reply[0] == '5')) why += " (" + LogExcerpt(reply, 160) + ")";
  throw MailError(why);
}

bool tMailSender::Send(tMailAccount account, std::string text, tDone done) {
  std::lock_guard lock(mutex_);
  if (jobs_.size() >= MaxWaiting) return false;
  jobs_.push_back({std::move(account), std::move(text), std::move(done)});
  if (!busy_) {
    if (worker_.joinable()) worker_.join();  // it ended after its last mail
    busy_ = true;
    cancel_ = false;
    worker_ = std::thread([this] { Work(); });
  }
  return true;
}

void tMailSender::Work() {
  for (;;) {
    tJob job;
    {
      std::lock_guard lock(mutex_);
      if (jobs_.empty()) {
        busy_ = false;
        idle_.notify_all();
        return;
      }
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    std::string error;
    try {
      SendMail(job.account, job.text, cancel_);
    } catch (const std::exception& e) {
      error = *e.what() ? e.what() : "unknown error";
    }
    if (job.done) job.done(error);
  }
}

void tMailSender::Stop(std::chrono::milliseconds grace) {
  std::unique_lock lock(mutex_);
  idle_.wait_for(lock, grace, [this] { return !busy_; });
  jobs_.clear();
  cancel_ = true;
  lock.unlock();
  if (worker_.joinable()) worker_.join();
}

}  // namespace kv
