// Requests as the server's handler receives them (method, path, Range and Authorization
// headers), against a program folder whose www/ holds links out and a picture folder with a
// picture in memory. Input: one byte choosing the method (and, by its bit 4, the server that
// asks for a user name and password on /metrics and /api/), the path up to a line feed, the
// Range header up to the next, then the Authorization header. Whatever is answered comes from
// inside www/, the picture folder or memory, with a range that lies inside what it cuts from;
// the guarded server hands out the readings only to the right credentials.
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "core/Process.h"
#include "core/UiPort.h"
#include "publishing/http/HttpServer.h"
#include "publishing/http/RequestPath.h"
#include "settings/Settings.h"

namespace {

std::string www, pics;
const std::string kPicture = "LIGHT-IN-MEMORY-0123456789";
const std::string kCredentials = "prom:pass word";
kv::THttpServer* server = nullptr;
kv::THttpServer* guarded = nullptr;

bool Inside(const std::string& path, const std::string& root) { return path == root || path.starts_with(root + "/"); }

void Check(const kv::tHttpdAnswer& a, std::string_view input, bool withCredentials, std::string_view authorization) {
  const auto fail = [&](const std::string& what) { kvfuzz::Fail(what + " for " + std::string(input)); };
  if (a.status != 200 && a.status != 206 && a.status != 404 && a.status != 416 && (a.status != 401 || !withCredentials))
    fail("status " + std::to_string(a.status));
  if (withCredentials && a.shared && (*a.shared == "metrics\n" || *a.shared == "{}") &&
      !kv::BasicCredentialsMatch(authorization, kCredentials))
    fail("the readings without the credentials");
  if (a.body.find("SECRET") != std::string::npos) fail("a secret in the body");
  uint64_t size = 0;
  if (a.shared) {
    size = a.shared->size();
    if (a.shared->find("SECRET") != std::string::npos) fail("a secret in memory");
  } else if (a.file) {
    char target[PATH_MAX] = {};
    const std::string link = "/proc/self/fd/" + std::to_string(a.file->fd);
    if (::readlink(link.c_str(), target, sizeof target - 1) < 0) fail("an answer file that is not open");
    if (!Inside(target, www) && !Inside(target, pics)) fail(std::string("a file from outside: ") + target);
    size = static_cast<uint64_t>(std::filesystem::file_size(target));
  } else {
    return;
  }
  if (a.first > size || a.length > size - a.first) fail("a range beyond the body");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kvfuzz::Init();
  const std::string root = kvfuzz::Folder();
  const std::string app = root + "app/";
  std::filesystem::create_directories(app + "www/Sub/Deeper");
  std::filesystem::create_directories(root + "pics");
  kvfuzz::WriteFile(root + "secret.txt", "SECRET");
  kvfuzz::WriteFile(app + "www/Chart.PNG", "0123456789");
  kvfuzz::WriteFile(app + "www/Sub/b.txt", "b");
  kvfuzz::WriteFile(root + "pics/kvwide.png", "banner on disk");
  std::error_code ignored;
  std::filesystem::create_symlink(root + "secret.txt", app + "www/out.txt", ignored);
  std::filesystem::create_symlink(root, app + "www/Sub/up", ignored);
  std::filesystem::create_symlink(root + "secret.txt", root + "pics/index.html", ignored);
  char buf[PATH_MAX];
  if (!realpath((app + "www").c_str(), buf)) kvfuzz::Fail("no www folder");
  www = buf;
  if (!realpath((root + "pics").c_str(), buf)) kvfuzz::Fail("no picture folder");
  pics = buf;

  kv::tSettings settings;
  settings.HTTPServerActive = false;  // the handler alone: no module, no port
  const kv::tProcessFacts process{.AppDir = app, .SettingsDir = root};
  kv::HeadlessUi ui;
  server = new kv::THttpServer;
  server->Apply(settings, process, root + "pics/", ui);
  server->PictureSaved(kv::tImageKind::Light, root + "pics/" + settings.Light,
                       std::make_shared<const std::string>(kPicture));
  server->PublishReadings(std::make_shared<const kv::tHttpReadings>(kv::tHttpReadings{"metrics\n", "{}"}));
  settings.HTTPUser = kCredentials.substr(0, kCredentials.find(':'));
  settings.HTTPPass = kCredentials.substr(kCredentials.find(':') + 1);
  guarded = new kv::THttpServer;
  guarded->Apply(settings, process, root + "pics/", ui);
  guarded->PublishReadings(std::make_shared<const kv::tHttpReadings>(kv::tHttpReadings{"metrics\n", "{}"}));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const char* const methods[] = {"GET", "HEAD", "POST", "head"};
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const size_t newline = input.find('\n');
  kv::tHttpdRequest request;
  request.method = methods[data[0] % 4];
  request.target = input.substr(0, newline);
  if (newline != std::string_view::npos) {
    const std::string_view rest = input.substr(newline + 1);
    const size_t second = rest.find('\n');
    request.range = rest.substr(0, second);
    if (second != std::string_view::npos) request.authorization = rest.substr(second + 1);
  }
  request.peer = "127.0.0.1";
  const bool withCredentials = (data[0] & 4) != 0;
  kv::tHttpdAnswer answer;
  (withCredentials ? guarded : server)->HTTPDCommandGet(request, answer);
  Check(answer, input, withCredentials, request.authorization);
  return 0;
}
