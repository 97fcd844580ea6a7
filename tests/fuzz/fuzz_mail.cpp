// An alert mail as it goes over the wire, built from texts the user and the sensor programs
// choose (channel names, readings, the recipient list): the input is the subject, the body, the
// attachment's name and the recipient list, separated by NUL bytes. Whatever they hold, the
// mail keeps CR LF line ends, lines SMTP can carry, and exactly the headers we write.
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "alerts/SmtpMail.h"

namespace {

std::vector<std::string> Fields(const uint8_t* data, size_t size) {
  std::vector<std::string> out(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0 && out.size() < 4) out.emplace_back();
    else out.back() += static_cast<char>(data[i]);
  }
  out.resize(4);
  return out;
}

bool KnownHeader(std::string_view line) {
  for (const char* name : {"From: ", "To: ", "Subject: ", "Date: ", "Message-ID: ", "MIME-Version: ",
                           "Content-Type: ", "Content-Transfer-Encoding: "})
    if (line.starts_with(name)) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kvfuzz::Init();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 16384) return 0;
  const std::vector<std::string> f = Fields(data, size);
  kv::tMailAccount account;
  account.from = "kelvara@localhost";
  account.to = kv::SplitMailAddresses(f[3]);
  kv::tMailMessage message{f[0], f[1], {}};
  if (!f[2].empty()) message.attachments.push_back({f[2], "image/png", f[1]});
  const std::string mail = kv::ComposeMail(account, message, 1700000000);

  size_t start = 0, subjects = 0;
  bool inHeaders = true;
  while (start < mail.size()) {
    const size_t lf = mail.find('\n', start);
    if (lf == std::string::npos) kvfuzz::Fail("the mail does not end with a line end");
    if (lf == start || mail[lf - 1] != '\r') kvfuzz::Fail("a bare line feed");
    const std::string_view line(mail.data() + start, lf - 1 - start);
    if (line.find('\r') != std::string_view::npos) kvfuzz::Fail("a bare carriage return");
    if (line.size() > 998) kvfuzz::Fail("a line longer than SMTP carries");
    if (inHeaders) {
      if (line.empty()) {
        inHeaders = false;
      } else if (line[0] != ' ') {
        if (!KnownHeader(line)) kvfuzz::Fail("a header we never wrote: " + std::string(line.substr(0, 40)));
        subjects += line.starts_with("Subject: ");
      }
    } else if (message.attachments.empty() && line.size() > 76) {
      kvfuzz::Fail("a quoted-printable line longer than 76");
    }
    start = lf + 1;
  }
  if (subjects != 1) kvfuzz::Fail("not exactly one subject");
  return 0;
}
