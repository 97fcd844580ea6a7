#include "publishing/http/RequestPath.h"

#include <dirent.h>
#include <sys/stat.h>

#include <climits>
#include <algorithm>
#include <cstdlib>

#include "core/Text.h"

namespace kv {

namespace {

void ReplaceAll(std::string& s, std::string_view what, std::string_view with) {
  std::string out;
  size_t from = 0;
  for (size_t at; (at = s.find(what, from)) != std::string::npos; from = at + what.size()) {
    out.append(s, from, at - from);
    out += with;
  }
  out.append(s, from, std::string::npos);
  s = std::move(out);
}

std::optional<std::string> RealPath(const std::string& path) {
  char buf[PATH_MAX];
  if (path.size() >= PATH_MAX || !realpath(path.c_str(), buf)) return std::nullopt;
  return std::string(buf);
}

}  // namespace

std::optional<std::string> DecodeRequestPath(std::string_view target) {
  target = target.substr(0, target.find_first_of("?#"));
  std::string out;
  out.reserve(target.size());
  for (size_t i = 0; i < target.size(); ++i) {
    char c = target[i];
    if (c == '%') {
      if (i + 2 >= target.size()) return std::nullopt;
      const int hi = HexValue(target[i + 1]), lo = HexValue(target[i + 2]);
      if (hi < 0 || lo < 0) return std::nullopt;
      c = static_cast<char>(hi * 16 + lo);
      i += 2;
    }
    if (c == '\0') return std::nullopt;
    out += c;
  }
  return out;
}

std::string DocName(std::string_view path) {
  std::string doc(path);
  for (char& c : doc) {
    if (c == '\\') c = '/';
    else if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  // Lower-casing first changes nothing for ".." and "./", which hold no letters.
  ReplaceAll(doc, "..", "");
  ReplaceAll(doc, "./", "");
  if (!doc.empty() && doc.front() == '/') doc.erase(0, 1);
  if (doc.empty() || doc == ".") doc = "index.html";
  if (!doc.empty() && doc.back() == '/') doc.pop_back();
  return doc;
}

std::string ResolvedPath(const std::string& path) { return RealPath(path).value_or(std::string()); }

std::string ConfinedPath(const std::string& root, const std::string& doc) {
  return ConfinedPathIn(ResolvedPath(root), doc);
}

std::string ConfinedPathIn(const std::string& base, const std::string& doc) {
  if (base.empty()) return {};
  const auto full = RealPath(base + "/" + doc);
  if (!full) return {};
  if (*full == base) return *full;
  const std::string prefix = base == "/" ? base : base + "/";
  if (full->compare(0, prefix.size(), prefix) != 0) return {};
  return *full;
}

std::optional<tByteRange> RequestedRange(std::string_view header, uint64_t size) {
  constexpr std::string_view prefix = "bytes=";
  if (!header.starts_with(prefix) || header.find(',') != std::string_view::npos) return std::nullopt;
  const std::string spec = Trim(header.substr(prefix.size()));
  const size_t dash = spec.find('-');
  if (dash == std::string::npos) return tByteRange{};
  const auto number = [](const std::string& s) -> std::optional<uint64_t> {
    if (s.empty() || s.size() > 19 || s.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    return std::stoull(s);
  };
  const auto a = number(spec.substr(0, dash)), b = number(spec.substr(dash + 1));
  tByteRange r;
  if (!a) {  // the last b bytes
    if (!b || *b == 0 || size == 0) return r;
    r.first = *b >= size ? 0 : size - *b;
    r.last = size - 1;
  } else {
    if (*a >= size || (b && *b < *a)) return r;
    r.first = *a;
    r.last = b && *b < size ? *b : size - 1;
  }
  r.satisfiable = true;
  return r;
}

std::string MatchCase(const std::string& root, const std::string& doc) {
  std::string done;  // the components settled so far, each followed by "/"
  size_t from = 0;
  while (from <= doc.size()) {
    size_t end = doc.find('/', from);
    if (end == std::string::npos) end = doc.size();
    std::string part = doc.substr(from, end - from);
    const std::string folder = root + "/" + done;
    struct stat st{};
    if (!part.empty() && part != "." && part != ".." && ::lstat((folder + part).c_str(), &st) != 0) {
      if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d)) {
          const std::string name = e->d_name;
          if (name.size() == part.size() && std::equal(name.begin(), name.end(), part.begin(), [](char a, char b) {
                return (a >= 'A' && a <= 'Z' ? a - 'A' + 'a' : a) == (b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b);
              })) {
            part = name;
            break;
          }
        }
        ::closedir(d);
      }
    }
    done += part;
    if (end == doc.size()) break;
    done += "/";
    from = end + 1;
  }
  return done;
}

}  // namespace kv
