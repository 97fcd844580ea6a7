#pragma once
// The built-in HTTP(S) server: one listening socket (all interfaces, or the address of
// HTTPServerBind), a few event loops that
// serve every connection (both in the server module, loaded the first time the server is
// switched on), and HTTPDCommandGet for GET, HEAD and POST. The loops read only the snapshots
// below, never the main thread's state.
#include <atomic>
#include <memory>
#include <string>

#include "displays/ImageSaving.h"
#include "publishing/http/Httpd.h"

namespace kv {

struct tSettings;
struct tProcessFacts;
class UiPort;

// What a request may read, taken on the main thread whenever the settings are applied.
struct tHttpSettings {
  std::string localPath;  // the picture folder, ends in "/"
  std::string wwwPath;    // the data folder "www/"
  std::string light, banner;
  // Both folders with their links resolved once; empty when a folder was missing then, and a
  // request resolves it itself.
  std::string localRoot, wwwRoot;
  // "user:password" that /metrics and /api/ ask for; empty: they are open like the rest.
  std::string credentials;
};

// A picture as its last save wrote it: served from memory, no file opened.
struct tHttpPicture {
  std::string path;
  std::string contentType;
  std::shared_ptr<const std::string> bytes;
};

// The machine-readable answers, made on the main thread after each pass.
struct tHttpReadings {
  std::string metrics;  // Prometheus text
  std::string json;     // the readings object
};

class THttpServer {
 public:
  THttpServer();
  ~THttpServer();
  THttpServer(const THttpServer&) = delete;
  THttpServer& operator=(const THttpServer&) = delete;

  // Takes the paths, names and credentials, and (re)starts the server only when its own
  // settings changed: on or off, the address, the port, the TLS file (the data file
  // "Kelvara.pem": HTTPS when it exists), or when it should run and does not. A refused port
  // reaches the user through the status line of ui. Main thread; never waits for clients.
  void Apply(const tSettings& settings, const tProcessFacts& process, const std::string& pictureFolder, UiPort& ui);
  void Stop();
  void PublishReadings(std::shared_ptr<const tHttpReadings> readings);
  // The bytes a save just wrote to path, answered from memory from now on. Main thread.
  void PictureSaved(tImageKind kind, const std::string& path, std::shared_ptr<const std::string> bytes);

  bool Running() const { return httpd_ && httpd_->Running(); }
  bool Tls() const { return tls_; }
  int Port() const { return port_; }

  // The handler of every GET, HEAD and POST, run on the server's event loops.
  void HTTPDCommandGet(const tHttpdRequest& request, tHttpdAnswer& answer) const;

 private:
  struct tState {
    tHttpSettings settings;
    tHttpPicture pictures[2];  // by tImageKind
  };
  void Publish(tState state);

  std::unique_ptr<IHttpd> httpd_;
  // What the running server was started with, to tell a change of its own settings.
  bool active_ = false, tls_ = false;
  int port_ = 0;
  std::string bind_, pem_;
  std::atomic<std::shared_ptr<const tState>> state_;
  std::atomic<std::shared_ptr<const tHttpReadings>> readings_;
};

// The server module's factory, from folder (the program's, ending in "/") or from
// folder + "../lib/kelvara/modules/"; null with the reason in error when it cannot be loaded.
struct tHttpdModule {
  tNewHttpd make = nullptr;
  std::string error;
};
tHttpdModule LoadHttpdModule(const std::string& folder);

// A new server from the module beside the running program, loaded on the first call; null with
// the reason in error when it cannot be loaded.
std::unique_ptr<IHttpd> NewHttpd(std::string& error);

// Why listening on address (empty: every interface) and port failed, in words for the status
// line (errno of the attempt).
std::string BindFailureText(const std::string& address, int port, int error);

// Whether an Authorization header carries exactly these "user:password" credentials by the
// Basic scheme. Takes the same time whatever the credentials hold, so a client cannot find
// them byte by byte.
bool BasicCredentialsMatch(std::string_view authorization, const std::string& credentials);

}  // namespace kv
