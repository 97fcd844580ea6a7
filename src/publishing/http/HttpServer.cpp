#include "publishing/http/HttpServer.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <vector>

#include "core/EventLog.h"
#include "core/Text.h"
#include "core/UiPort.h"
#include "platform/DataFiles.h"
#include "platform/System.h"
#include "publishing/http/HttpPages.h"
#include "publishing/http/RequestPath.h"
#include "settings/Scramble.h"
#include "settings/Settings.h"

namespace kv {

namespace {

constexpr size_t kListingEntryLimit = 20000;
constexpr size_t kPemLimit = 1 << 20;

std::optional<struct stat> StatOf(const std::string& path) {
  struct stat st{};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
  return st;
}

bool IsFile(const std::string& path) {
  const auto st = StatOf(path);
  return st && S_ISREG(st->st_mode);
}

// Every byte of the longer text is looked at and the answer is taken only at the end, so the
// time says nothing about where the first difference lies.
bool SameSecret(std::string_view given, std::string_view expected) {
  const size_t n = std::max(given.size(), expected.size());
  volatile unsigned char diff = given.size() != expected.size() ? 1 : 0;
  for (size_t i = 0; i < n; ++i) {
    const auto a = static_cast<unsigned char>(i < given.size() ? given[i] : 0);
    const auto b = static_cast<unsigned char>(i < expected.size() ? expected[i] : 0);
    diff = diff | (a ^ b);
  }
  return diff == 0;
}

// The "user:password" of a Basic Authorization header; nullopt for another scheme or broken text.
std::optional<std::string> BasicCredentials(std::string_view authorization) {
  const std::string header = Trim(authorization);
  if (header.size() < 6 || !SameText(std::string_view(header).substr(0, 5), "basic") || header[5] != ' ')
    return std::nullopt;
  return Base64Decode(Trim(std::string_view(header).substr(6)));
}

// Outside text for a log line: short, and without control characters.
std::string Printable(std::string_view text) {
  constexpr size_t kLimit = 80;
  std::string out(text.substr(0, kLimit));
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return text.size() > kLimit ? out + "..." : out;
}

// /metrics and everything under /api/ (the readings, and www files there) answer only to the
// configured credentials; the pictures and pages stay open to every browser.
bool AskedForCredentials(const std::string& path) {
  if (path == "/metrics" || path == "/api/v1/readings") return true;
  const std::string doc = DocName(path);
  return doc == "metrics" || doc == "api" || doc.starts_with("api/");
}

// The answer to a request without the right credentials. A try with wrong ones is logged with
// the user name it gave, never its password; a request with none is a browser's first call.
void Unauthorized(const tHttpdRequest& req, const std::string& path, tHttpdAnswer& res) {
  if (!req.authorization.empty()) {
    const auto given = BasicCredentials(req.authorization);
    const std::string who = given ? " as \"" + Printable(given->substr(0, given->find(':'))) + "\"" : "";
    LogEvent("hsa1 Refused " + Printable(path) + " to " + (req.peer.empty() ? "a client" : std::string(req.peer)) +
             who + ": " + (given ? "wrong user name or password" : "unreadable credentials"));
  }
  res.status = 401;
  res.headers.emplace_back("WWW-Authenticate", "Basic realm=\"Kelvara\", charset=\"UTF-8\"");
  res.body = "user name and password required\n";
  res.contentType = "text/plain";
}

void NotFound(tHttpdAnswer& res) {
  res.status = 404;
  res.body = ErrorPage("Not Found");
  res.contentType = "text/html";
}

// Status, Content-Range and the part of a body of size bytes that the request asks for; false
// when the answer is 416 and has no body. HEAD and a request without a single range get all.
bool AnswerRange(const tHttpdRequest& req, uint64_t size, tHttpdAnswer& res) {
  res.status = 200;
  res.first = 0;
  res.length = size;
  res.headers.emplace_back("Accept-Ranges", "bytes");
  if (SameText(req.method, "HEAD") || req.range.empty()) return true;
  const auto range = RequestedRange(req.range, size);
  if (!range) return true;
  if (!range->satisfiable) {
    res.status = 416;
    res.headers.emplace_back("Content-Range", "bytes */" + std::to_string(size));
    res.contentType = "text/plain";
    res.length = 0;
    return false;
  }
  res.status = 206;
  res.first = range->first;
  res.length = range->last - range->first + 1;
  res.headers.emplace_back("Content-Range", "bytes " + std::to_string(range->first) + "-" +
                                                std::to_string(range->last) + "/" + std::to_string(size));
  return true;
}

void ServeFile(const std::string& path, const tHttpdRequest& req, tHttpdAnswer& res) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
  auto file = std::make_shared<tHttpdFile>(fd);
  struct stat st{};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) throw std::runtime_error(path + " is no file");
  res.contentType = ContentTypeFor(path);
  if (AnswerRange(req, static_cast<uint64_t>(st.st_size), res)) res.file = std::move(file);
}

void ServeShared(std::shared_ptr<const std::string> bytes, const std::string& contentType, const tHttpdRequest& req,
                 tHttpdAnswer& res) {
  res.contentType = contentType;
  if (AnswerRange(req, bytes->size(), res)) res.shared = std::move(bytes);
}

// What doc names inside the www folder, links resolved; empty when nothing there.
std::string WwwPath(const tHttpSettings& settings, const std::string& doc) {
  const std::string root = settings.wwwRoot.empty() ? ResolvedPath(settings.wwwPath) : settings.wwwRoot;
  // Names arrive lower-cased; the folder may hold them in any case.
  return root.empty() ? std::string() : ConfinedPathIn(root, MatchCase(root, doc));
}

// The key and certificate file, read whole when it is a plain file of sensible size; nullopt
// when there is none. Throws when one is there but cannot be read.
std::optional<std::string> ReadPem(const std::string& path) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) throw std::runtime_error(std::strerror(errno));
  std::string text;
  char buf[16384];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0 && text.size() <= kPemLimit) text.append(buf, static_cast<size_t>(n));
  const int error = errno;
  ::close(fd);
  if (n < 0) throw std::runtime_error(std::strerror(error));
  if (text.size() > kPemLimit) throw std::runtime_error("larger than a key and certificate file can be");
  return text;
}

void ServeListing(const std::string& dir, const std::string& doc, tHttpdAnswer& res) {
  DIR* d = ::opendir(dir.c_str());
  if (!d) throw std::runtime_error("cannot list " + dir + ": " + std::strerror(errno));
  std::vector<tListingEntry> entries;
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (entries.size() >= kListingEntryLimit) break;
    tListingEntry entry{name, std::nullopt, std::nullopt};
    struct stat st{};
    // A link is described, not followed: its target may lie outside.
    if (::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      const std::string why = std::string(std::strerror(errno));
      LogEvent("hscg2 " + name + ": " + why);
      LogEvent("hscg1 " + name + ": " + why);
    } else {
      if (S_ISDIR(st.st_mode)) LogEvent("hscg2 " + name + " is a directory");
      else entry.size = static_cast<uint64_t>(st.st_size);
      entry.unixMs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    }
    entries.push_back(std::move(entry));
  }
  ::closedir(d);
  res.status = 200;
  res.body = ListingPage(doc, entries);
  res.contentType = "text/html";
}

}  // namespace

tHttpdModule LoadHttpdModule(const std::string& folder) {
  tHttpdModule module;
  // Beside the program in the build tree, in the private library folder once installed.
  const std::string installed = folder + "../lib/kelvara/modules/" + HttpdModuleName;
  for (const std::string& path : {folder + HttpdModuleName, installed}) {
    // Code is loaded only from a known place, never relative to the working folder.
    if (folder.empty() || folder[0] != '/' || !IsFile(path)) continue;
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      const char* why = ::dlerror();
      module.error = path + " cannot be loaded: " + (why ? why : "unknown error");
      return module;
    }
    module.make = reinterpret_cast<tNewHttpd>(::dlsym(handle, NewHttpdSymbol));
    if (!module.make) module.error = path + " is not the server module";
    return module;
  }
  module.error.append("The server module ").append(HttpdModuleName).append(" is missing beside ").append(folder);
  return module;
}

std::string BindFailureText(const std::string& address, int port, int error) {
  const std::string head = "The HTTP server cannot listen on " + (address.empty() ? "" : address + " ") + "port " +
                           std::to_string(port) + ": ";
  if (error == EACCES || error == EPERM)
    return head + "ports below 1024 need the privilege to bind them (CAP_NET_BIND_SERVICE); choose a port of 1024 or above";
  if (error == EADDRINUSE) return head + "the port is in use by another program";
  if (error == EADDRNOTAVAIL) return head + "the address is not one of this machine's (HTTPServerBind)";
  if (error == 0) return head + "the port could not be bound";
  return head + std::strerror(error);
}

bool BasicCredentialsMatch(std::string_view authorization, const std::string& credentials) {
  const auto given = BasicCredentials(authorization);
  return given && SameSecret(*given, credentials);
}

THttpServer::THttpServer() { state_.store(std::make_shared<const tState>()); }

THttpServer::~THttpServer() { Stop(); }

std::unique_ptr<IHttpd> NewHttpd(std::string& error) {
  // Loaded once; the module stays for the program's life.
  static const tHttpdModule module = LoadHttpdModule(ProgramFolder());
  error = module.error;
  return module.make ? std::unique_ptr<IHttpd>(module.make()) : nullptr;
}

void THttpServer::Stop() {
  if (httpd_) httpd_->Stop();
}

void THttpServer::Publish(tState state) { state_.store(std::make_shared<const tState>(std::move(state))); }

void THttpServer::PublishReadings(std::shared_ptr<const tHttpReadings> readings) {
  readings_.store(std::move(readings));
}

void THttpServer::PictureSaved(tImageKind kind, const std::string& path, std::shared_ptr<const std::string> bytes) {
  tState state = *state_.load();
  state.pictures[kind == tImageKind::Light ? 0 : 1] = {path, ContentTypeFor(path), std::move(bytes)};
  Publish(std::move(state));
}

void THttpServer::Apply(const tSettings& settings, const tProcessFacts& process, const std::string& pictureFolder,
                        UiPort& ui) {
  tState state = *state_.load();
  tHttpSettings& paths = state.settings;
  paths.localPath = IncludeTrailingSlash(pictureFolder);
  paths.wwwPath = DataFile("www/", process);
  paths.light = settings.Light;
  paths.banner = settings.Banner;
  paths.localRoot = ResolvedPath(paths.localPath);
  paths.wwwRoot = ResolvedPath(paths.wwwPath);
  paths.credentials = settings.HTTPUser.empty() ? std::string() : settings.HTTPUser + ":" + settings.HTTPPass;
  Publish(std::move(state));
  try {
    const std::string pemPath = DataFile("Kelvara.pem", process);
    const bool tls = IsFile(pemPath);
    std::string pem, pemError;
    if (tls) {
      try {
        pem = ReadPem(pemPath).value_or("");
        if (pem.empty()) pemError = "the file is empty";
      } catch (const std::exception& e) {
        pemError = e.what();
      }
    }
    // Any other change of the settings leaves the server and its clients alone.
    const std::string bind = Trim(settings.HTTPServerBind);
    if (Running() && settings.HTTPServerActive && settings.HTTPServerPort == port_ && bind == bind_ && tls == tls_ &&
        pem == pem_)
      return;
    Stop();
    active_ = settings.HTTPServerActive;
    port_ = settings.HTTPServerPort;
    bind_ = bind;
    tls_ = tls;
    pem_ = pem;
    if (!active_) return;
    const std::string tlsFailure = "The HTTPS server cannot use " + pemPath + ": ";
    if (!pemError.empty()) throw std::runtime_error(tlsFailure + pemError);
    if (!httpd_) {
      std::string error;
      httpd_ = NewHttpd(error);
      if (!httpd_) throw std::runtime_error(error);
    }
    tHttpdOptions options;
    options.bind = bind_;
    options.port = port_;
    options.pem = pem;
    options.handler = [this](const tHttpdRequest& req, tHttpdAnswer& res) { HTTPDCommandGet(req, res); };
    const tHttpdStart started = httpd_->Start(options);
    if (started.listening) return;
    throw std::runtime_error(started.bindError ? BindFailureText(bind_, port_, started.bindError)
                             : tls_            ? tlsFailure + started.error
                                               : "The HTTP server cannot start: " + started.error);
  } catch (const std::exception& e) {
    LogEvent(std::string("io1 ") + e.what());
    ui.ShowStatus(e.what());
  }
}

void THttpServer::HTTPDCommandGet(const tHttpdRequest& req, tHttpdAnswer& res) const {
  try {
    const auto state = state_.load();
    const tHttpSettings& settings = state->settings;
    const auto path = DecodeRequestPath(req.target);
    if (!path) return NotFound(res);
    if (!settings.credentials.empty() && AskedForCredentials(*path) &&
        !BasicCredentialsMatch(req.authorization, settings.credentials))
      return Unauthorized(req, *path, res);
    if (*path == "/metrics" || *path == "/api/v1/readings") {
      const auto readings = readings_.load();
      if (!readings) {
        res.status = 503;
        res.body = "no acquisition pass yet\n";
        res.contentType = "text/plain";
        return;
      }
      const bool metrics = *path == "/metrics";
      res.status = 200;
      res.contentType = metrics ? "text/plain; version=0.0.4; charset=utf-8" : "application/json";
      res.shared = std::shared_ptr<const std::string>(readings, metrics ? &readings->metrics : &readings->json);
      res.length = res.shared->size();
      return;
    }
    const std::string doc = DocName(*path);
    const bool picture = doc == settings.light || doc == settings.banner;
    if (picture && doc != "index.html") {
      // As the last save wrote it, without touching a file.
      for (const tHttpPicture& saved : state->pictures) {
        const std::string& p = saved.path;
        if (saved.bytes && p.size() == settings.localPath.size() + doc.size() && p.starts_with(settings.localPath) &&
            p.ends_with(doc))
          return ServeShared(saved.bytes, saved.contentType, req, res);
      }
    }
    const std::string localRoot = settings.localRoot.empty() ? ResolvedPath(settings.localPath) : settings.localRoot;
    if (doc == "index.html" && !IsFile(WwwPath(settings, doc))) {
      const bool light = IsFile(ConfinedPathIn(localRoot, settings.light));
      const bool banner = IsFile(ConfinedPathIn(localRoot, settings.banner));
      res.status = 200;
      res.body = IndexPage(settings.light, light, settings.banner, banner);
      res.contentType = "text/html";
      return;
    }
    // A picture on disk is found before the www folder is looked at.
    if (picture || doc == "index.html") {
      const std::string local = ConfinedPathIn(localRoot, doc);
      if (IsFile(local)) return ServeFile(local, req, res);
    }
    const std::string web = WwwPath(settings, doc);
    const auto webStat = StatOf(web);
    if (webStat && S_ISDIR(webStat->st_mode)) return ServeListing(web, doc, res);
    if (webStat && S_ISREG(webStat->st_mode)) return ServeFile(web, req, res);
    NotFound(res);
  } catch (const std::exception& e) {
    LogEvent(std::string("hscg3 ") + e.what());
    if (res.status == -1) res.status = 500;
    res.file.reset();
  }
}

}  // namespace kv
