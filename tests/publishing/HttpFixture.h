#pragma once
// The HTTP server suites' fixture: a program folder with www/, a picture folder and secrets
// beside them, and a server on a free loopback port.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/EventLog.h"
#include "core/Process.h"
#include "core/UiPort.h"
#include "publishing/http/HttpServer.h"
#include "settings/Settings.h"
#include "support/RecordingUi.h"
#include "support/TestSupport.h"

namespace kvtest {

struct HttpTest : testing::Test {
  TempDir dir;
  std::string app = dir.File("app/"), www = app + "www/", pics = dir.File("pics/");
  kv::tProcessFacts process{.AppDir = app, .SettingsDir = dir.File("settings/")};
  kv::tSettings settings;
  kv::THttpServer server;
  RecordingUi ui;

  HttpTest() {
    std::filesystem::create_directories(www);
    std::filesystem::create_directories(pics);
    kv::SetEventLogPath(dir.File("KVEvents.txt"));
    kv::SetDebugMode(true);
    settings.HTTPServerActive = true;
    settings.HTTPServerPort = FreePort();
  }
  ~HttpTest() override {
    server.Stop();
    kv::SetDebugMode(false);
  }
  int Port() const { return settings.HTTPServerPort; }
  void Start() { server.Apply(settings, process, pics, ui); }
  void Write(const std::string& path, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteFile(path, content);
  }
  std::string Log() const { return ReadFile(dir.File("KVEvents.txt")); }
};

}  // namespace kvtest
