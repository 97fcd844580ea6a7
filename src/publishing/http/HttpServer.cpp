#include "publishing/http/HttpServer.h"

#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

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
#include "settings/Settings.h"

namespace kv {

namespace {

constexpr size_t kListingEntryLimit = 20000;

// The errno of binding the port on all interfaces, or 0 when that works now.
int ProbeBind(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return errno;
  const int one = 1;
  ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_ANY);
  const int result = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? 0 : errno;
  ::close(s);
  return result;
}

std::optional<struct stat> StatOf(const std::string& path) {
  struct stat st{};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
  return st;
}

bool IsFile(const std::string& path) {
  const auto st = StatOf(path);
  return st && S_ISREG(st->st_mode);
}

void NotFound(tHttpdAnswer& res) {
  res.status = 404;
  res.body = ErrorPage("Not Found");
  res.contentType = "text/html";
}

// The one range of a "bytes=" header, clipped to size: nullopt when the header asks for no
// single range (absent or several: the whole file), {false} when nothing of it lies inside.
struct tRange {
  bool satisfiable = false;
  uint64_t first = 0, last = 0;
};
std::optional<tRange> RequestedRange(const std::string& header, uint64_t size) {
  const std::string prefix = "bytes=";
  if (header.compare(0, prefix.size(), prefix) != 0 || header.find(',') != std::string::npos) return std::nullopt;
  const std::string spec = Trim(header.substr(prefix.size()));
  const size_t dash = spec.find('-');
  if (dash == std::string::npos) return tRange{};
  const auto number = [](const std::string& s) -> std::optional<uint64_t> {
    if (s.empty() || s.size() > 19 || s.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    return std::stoull(s);
  };
  const auto a = number(spec.substr(0, dash)), b = number(spec.substr(dash + 1));
  tRange r;
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

void ServeFile(const std::string& path, const tHttpdRequest& req, tHttpdAnswer& res) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
  auto file = std::make_shared<tHttpdFile>(fd);
  struct stat st{};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) throw std::runtime_error(path + " is no file");
  const auto size = static_cast<uint64_t>(st.st_size);
  res.contentType = ContentTypeFor(path);
  res.status = 200;
  uint64_t first = 0, length = size;
  if (!SameText(req.method, "HEAD") && !req.range.empty()) {
    if (const auto range = RequestedRange(req.range, size)) {
      if (!range->satisfiable) {
        res.status = 416;
        res.headers.emplace_back("Content-Range", "bytes */" + std::to_string(size));
        res.contentType = "text/plain";
        return;
      }
      res.status = 206;
      first = range->first;
      length = range->last - range->first + 1;
      res.headers.emplace_back("Content-Range", "bytes " + std::to_string(range->first) + "-" +
                                                    std::to_string(range->last) + "/" + std::to_string(size));
    }
  }
  res.headers.emplace_back("Accept-Ranges", "bytes");
  if (length == 0) return;
  res.file = std::move(file);
  res.first = first;
  res.length = length;
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
  module.error = std::string("The server module ") + HttpdModuleName + " is missing beside " + folder;
  return module;
}

std::string BindFailureText(int port, int error) {
  const std::string head = "The HTTP server cannot listen on port " + std::to_string(port) + ": ";
  if (error == EACCES || error == EPERM)
    return head + "ports below 1024 need the privilege to bind them (CAP_NET_BIND_SERVICE); choose a port of 1024 or above";
  if (error == EADDRINUSE) return head + "the port is in use by another program";
  if (error == 0) return head + "the port could not be bound";
  return head + std::strerror(error);
}

THttpServer::THttpServer() { settings_.store(std::make_shared<const tHttpSettings>()); }

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

void THttpServer::PublishReadings(std::shared_ptr<const tHttpReadings> readings) {
  readings_.store(std::move(readings));
}

void THttpServer::Apply(const tSettings& settings, const std::string& appDir, const std::string& pictureFolder) {
  auto snapshot = std::make_shared<tHttpSettings>();
  snapshot->localPath = IncludeTrailingSlash(pictureFolder);
  snapshot->wwwPath = DataFile("www/", appDir);
  snapshot->light = settings.Light;
  snapshot->banner = settings.Banner;
  settings_.store(std::move(snapshot));
  try {
    Stop();
    port_ = settings.HTTPServerPort;
    const std::string pem = DataFile("Kelvara.pem", appDir);
    tls_ = IsFile(pem);
    if (!settings.HTTPServerActive) return;
    if (!httpd_) {
      std::string error;
      httpd_ = NewHttpd(error);
      if (!httpd_) throw std::runtime_error(error);
    }
    tHttpdOptions options;
    options.port = port_;
    if (tls_) options.pem = pem;
    options.handler = [this](const tHttpdRequest& req, tHttpdAnswer& res) { HTTPDCommandGet(req, res); };
    const tHttpdStart started = httpd_->Start(options);
    if (started.listening) return;
    const std::string text = started.bindFailed ? BindFailureText(port_, ProbeBind(port_)) : started.error;
    LogEvent("io1 " + text);
    Ui().ShowStatus(text);
  } catch (const std::exception& e) {
    LogEvent(std::string("io1 ") + e.what());
    Ui().ShowStatus(e.what());
  }
}

void THttpServer::HTTPDCommandGet(const tHttpdRequest& req, tHttpdAnswer& res) const {
  try {
    const auto settings = settings_.load();
    const auto path = DecodeRequestPath(req.target);
    if (!path) return NotFound(res);
    if (*path == "/metrics" || *path == "/api/v1/readings") {
      const auto readings = readings_.load();
      res.status = 200;
      if (!readings) {
        res.status = 503;
        res.body = "no acquisition pass yet\n";
        res.contentType = "text/plain";
      } else if (*path == "/metrics") {
        res.body = readings->metrics;
        res.contentType = "text/plain; version=0.0.4; charset=utf-8";
      } else {
        res.body = readings->json;
        res.contentType = "application/json";
      }
      return;
    }
    const std::string doc = DocName(*path);
    // Names arrive lower-cased; the folder may hold them in any case.
    const std::string web = ConfinedPath(settings->wwwPath, MatchCase(settings->wwwPath, doc));
    const auto webStat = StatOf(web);
    if (doc == "index.html" && !(webStat && S_ISREG(webStat->st_mode))) {
      const bool light = IsFile(ConfinedPath(settings->localPath, settings->light));
      const bool banner = IsFile(ConfinedPath(settings->localPath, settings->banner));
      res.status = 200;
      res.body = IndexPage(settings->light, light, settings->banner, banner);
      res.contentType = "text/html";
      return;
    }
    if (doc == settings->light || doc == settings->banner || doc == "index.html") {
      const std::string local = ConfinedPath(settings->localPath, doc);
      if (IsFile(local)) return ServeFile(local, req, res);
    }
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
