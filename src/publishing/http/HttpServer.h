#pragma once
// The built-in HTTP(S) server: one listening socket on all interfaces, a bounded pool of
// connection threads (both in the server module, loaded the first time the server is switched
// on), and HTTPDCommandGet for GET, HEAD and POST. Its connection threads read only the
// snapshots below, never the main thread's state.
#include <atomic>
#include <memory>
#include <string>

#include "publishing/http/Httpd.h"

namespace kv {

struct tSettings;

// What a request may read, taken on the main thread whenever the settings are applied.
struct tHttpSettings {
  std::string localPath;  // the picture folder, ends in "/"
  std::string wwwPath;    // AppDir + "www/"
  std::string light, banner;
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

  // Stops the server, takes the port, the TLS file (appDir + "Kelvara.pem": HTTPS when it
  // exists) and the paths, and starts it again when HTTPServerActive. A refused port reaches
  // the user through the status line. Main thread.
  void Apply(const tSettings& settings, const std::string& appDir, const std::string& pictureFolder);
  // Waits for the connection threads (each ends within its time-outs).
  void Stop();
  void PublishReadings(std::shared_ptr<const tHttpReadings> readings);

  bool Running() const { return httpd_ && httpd_->Running(); }
  bool Tls() const { return tls_; }
  int Port() const { return port_; }

  // The handler of every GET, HEAD and POST, run on the connection threads.
  void HTTPDCommandGet(const tHttpdRequest& request, tHttpdAnswer& answer) const;

 private:
  std::unique_ptr<IHttpd> httpd_;
  bool tls_ = false;
  int port_ = 0;
  std::atomic<std::shared_ptr<const tHttpSettings>> settings_;
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

// Why a bind of port failed, in words for the status line (errno of the attempt).
std::string BindFailureText(int port, int error);

}  // namespace kv
