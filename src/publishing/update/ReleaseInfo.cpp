#include "publishing/update/ReleaseInfo.h"

#include <algorithm>
#include <cctype>

namespace kv {

namespace {

std::string FormatOne(const std::string& text, const std::string& argument) {
  std::string out = text;
  const size_t at = out.find("%s");
  if (at != std::string::npos) out.replace(at, 2, argument);
  return out;
}

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

std::vector<std::string> SplitReplyLines(const std::string& reply) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < reply.size()) {
    size_t end = reply.find('\n', start);
    const bool last = end == std::string::npos;
    if (last) end = reply.size();
    size_t stop = end;
    if (stop > start && reply[stop - 1] == '\r') --stop;
    lines.push_back(reply.substr(start, stop - start));
    if (last) break;
    start = end + 1;
  }
  return lines;
}

tReleaseVerdict JudgeRelease(const std::vector<std::string>& lines, const std::string& releaseDate) {
  if (lines.size() <= 2) return tReleaseVerdict::Unchanged;
  const std::string& date = lines[1];
  if (date > releaseDate && !(date > "2050")) return tReleaseVerdict::Newer;
  if (date < "2000") return tReleaseVerdict::SiteError;
  return tReleaseVerdict::NotNewer;
}

std::string UpdateQuestion(const std::vector<std::string>& lines, const std::string& updateAvailable,
                           const std::string& downloadUpdate) {
  std::string text = FormatOne(updateAvailable, lines.empty() ? std::string() : lines[0]);
  text += "\r\n\r\n";
  for (size_t i = 3; i < lines.size(); ++i) text += lines[i] + "\r\n";
  text += "\r\n" + downloadUpdate;
  return text;
}

bool IsHttpsAddress(const std::string& address) {
  static const std::string scheme = "https://";
  if (address.size() <= scheme.size()) return false;
  for (size_t i = 0; i < scheme.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(address[i])) != scheme[i]) return false;
  const char first = address[scheme.size()];
  return first != '/' && first != '?' && first != '#' && first != '@' &&
         !std::isspace(static_cast<unsigned char>(first));
}

std::optional<std::string> ParseChecksum(const std::string& text) {
  size_t start = 0;
  while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
  size_t end = start;
  while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end]))) ++end;
  if (end - start != 64) return std::nullopt;
  std::string digest = text.substr(start, 64);
  if (!std::all_of(digest.begin(), digest.end(), IsHex)) return std::nullopt;
  std::transform(digest.begin(), digest.end(), digest.begin(),
                 [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
  return digest;
}

std::string InstallerFileName(const std::string& address) {
  std::string path = address.substr(0, address.find_first_of("?#"));
  const size_t scheme = path.find("://");
  if (scheme != std::string::npos) {
    const size_t slash = path.find('/', scheme + 3);
    path = slash == std::string::npos ? std::string() : path.substr(slash);
  }
  const size_t slash = path.rfind('/');
  const std::string piece = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string name;
  for (char c : piece) {
    const bool keep = std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
    if (keep && name.size() < 64 && !(c == '.' && name.empty())) name += c;
  }
  return name.empty() ? "setup" : name;
}

}  // namespace kv
