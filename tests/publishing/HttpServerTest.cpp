#include "publishing/http/HttpServer.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "core/EventLog.h"
#include "core/Process.h"
#include "core/UiPort.h"
#include "publishing/HttpClient.h"
#include "publishing/HttpFixture.h"
#include "publishing/http/HttpPages.h"
#include "settings/Scramble.h"
#include "settings/Settings.h"

namespace {

using namespace kv;
using kvtest::Fetch;
using kvtest::Get;
using kvtest::HttpRequest;
using kvtest::HttpTest;

const std::string kIndexBothPictures =
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
    "\"http://www.w3.org/TR/xhtml2/DTD/xhtml1-transitional.dtd\">\r\n"
    "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>Kelvara</title></head><body>\r\n"
    "<img align=\"right\" src=\"kvlight.png\" alt=\"\" />\r\n"
    "<img src=\"kvwide.png\" alt=\"\" />\r\n"
    "<hr /><address>Kelvara 3.38-pre5 <a href=\"https://kelvara.org/\">https://kelvara.org/</a></address>\r\n"
    "<script type=\"text/javascript\" language=\"javascript\"><!--\r\n"
    "setTimeout('window.location.reload()', 300000);\r\n"
    "//--></script>\r\n"
    "</body></html>\r\n";

const std::string kNotFoundPage =
    "<html><head><title>Error</title></head><body><h1>Not Found</h1>\r\n"
    "<script type=\"text/javascript\" language=\"javascript\"><!--\r\n"
    "setTimeout('window.location.reload()', 300000);\r\n"
    "//--></script>\r\n"
    "</body></html>\r\n";

// The index page byte for byte, for / and /. alike; a picture that is missing leaves its line
// out; www/index.html replaces it, and an index.html among the pictures wins over that.
TEST_F(HttpTest, IndexPageAndWhoAnswersIt) {
  Start();
  Write(pics + "kvlight.png", "L");
  Write(pics + "kvwide.png", "B");
  for (const char* target : {"/", "/.", "/./", "/INDEX.HTML"}) {
    auto a = Get(Port(), target);
    EXPECT_EQ(a.status, 200) << target;
    EXPECT_EQ(a.body, kIndexBothPictures) << target;
    EXPECT_EQ(a.headers["content-type"], "text/html") << target;
  }
  std::filesystem::remove(pics + "kvlight.png");
  const std::string onlyBanner = Get(Port(), "/").body;
  EXPECT_EQ(onlyBanner.find("kvlight.png"), std::string::npos);
  EXPECT_NE(onlyBanner.find("<img src=\"kvwide.png\" alt=\"\" />\r\n"), std::string::npos);

  Write(www + "index.html", "own page");
  EXPECT_EQ(Get(Port(), "/").body, "own page");
  Write(pics + "index.html", "picture folder page");
  EXPECT_EQ(Get(Port(), "/.").body, "picture folder page");
}

// Names are lower-cased before the exact-case match with the picture settings; HEAD gives the
// length without a body; POST is answered like GET; other methods are refused.
TEST_F(HttpTest, PicturesByTheirSettingsNames) {
  const std::string png(5000, 'p');
  Write(pics + "kvlight.png", png);
  Write(pics + "other.png", "not a picture setting");
  Start();
  auto a = Get(Port(), "/KVLight.PNG");
  EXPECT_EQ(a.status, 200);
  EXPECT_EQ(a.body, png);
  EXPECT_EQ(a.headers["content-type"], "image/png");
  EXPECT_EQ(Get(Port(), "/other.png").status, 404);

  a = Fetch(Port(), {"HEAD", "/kvlight.png", {}});
  EXPECT_EQ(a.status, 200);
  EXPECT_EQ(a.headers["content-length"], "5000");
  EXPECT_TRUE(a.body.empty());
  a = Fetch(Port(), {"POST", "/kvlight.png", {}});
  EXPECT_EQ(a.status, 200);
  EXPECT_EQ(a.body, png);
  a = Fetch(Port(), {"DELETE", "/kvlight.png", {}});
  EXPECT_EQ(a.status, 405);
  EXPECT_EQ(a.headers["allow"], "GET, HEAD, POST");

  settings.Light = "KVLight.png";
  Write(pics + "KVLight.png", png);
  Start();
  EXPECT_EQ(Get(Port(), "/KVLight.png").status, 404);
}

// A picture is answered from the bytes its last save wrote, ranges and HEAD included, as long
// as the picture folder and name still lead to where it was written.
TEST_F(HttpTest, PicturesFromTheirLastSave) {
  Write(pics + "kvlight.png", "on disk");
  Write(pics + "kvwide.png", "banner on disk");
  Start();
  server.PictureSaved(tImageKind::Light, pics + "kvlight.png", std::make_shared<const std::string>("in memory"));
  server.PictureSaved(tImageKind::Banner, pics + "kvwide.png", std::make_shared<const std::string>("wide in memory"));
  auto a = Get(Port(), "/kvlight.png");
  EXPECT_EQ(a.body, "in memory");
  EXPECT_EQ(a.headers["content-type"], "image/png");
  EXPECT_EQ(Get(Port(), "/KVWide.png").body, "wide in memory");
  a = Fetch(Port(), {"GET", "/kvlight.png", {"Range: bytes=3-5"}});
  EXPECT_EQ(a.status, 206);
  EXPECT_EQ(a.body, "mem");
  EXPECT_EQ(a.headers["content-range"], "bytes 3-5/9");
  a = Fetch(Port(), {"HEAD", "/kvlight.png", {}});
  EXPECT_EQ(a.headers["content-length"], "9");

  const std::string elsewhere = dir.File("elsewhere/");
  Write(elsewhere + "kvlight.png", "moved on disk");
  server.Apply(settings, process, elsewhere, ui);
  EXPECT_EQ(Get(Port(), "/kvlight.png").body, "moved on disk");
  settings.Light = "other.png";
  server.Apply(settings, process, pics, ui);
  EXPECT_EQ(Get(Port(), "/kvlight.png").status, 404);
}

// www files: 200 with the whole file, 206 with Content-Range for a satisfiable range, 416 for
// one past the end; the path rules' ".." removal keeps slashes and still finds a//b.
TEST_F(HttpTest, WwwFilesAndRanges) {
  Write(www + "chart.png", "0123456789");
  Write(www + "a/b", "inner");
  Write(www + "secret.txt", "www secret");
  Write(www + "Mixed/Case.TXT", "mixed");
  Start();
  auto a = Get(Port(), "/chart.png");
  EXPECT_EQ(a.status, 200);
  EXPECT_EQ(a.body, "0123456789");
  EXPECT_EQ(a.headers.count("content-range"), 0u);

  const struct {
    const char* range;
    long status;
    const char* body;
    const char* contentRange;
  } cases[] = {
      {"bytes=2-5", 206, "2345", "bytes 2-5/10"},
      {"bytes=7-", 206, "789", "bytes 7-9/10"},
      {"bytes=-3", 206, "789", "bytes 7-9/10"},
      {"bytes=8-100", 206, "89", "bytes 8-9/10"},
      {"bytes=-50", 206, "0123456789", "bytes 0-9/10"},
      {"bytes=10-", 416, "", "bytes */10"},
      {"bytes=10-20", 416, "", "bytes */10"},
      {"bytes=-0", 416, "", "bytes */10"},
  };
  for (const auto& c : cases) {
    a = Fetch(Port(), {"GET", "/chart.png", {std::string("Range: ") + c.range}});
    EXPECT_EQ(a.status, c.status) << c.range;
    EXPECT_EQ(a.body, c.body) << c.range;
    EXPECT_EQ(a.headers["content-range"], c.contentRange) << c.range;
  }
  a = Fetch(Port(), {"HEAD", "/chart.png", {"Range: bytes=2-5"}});
  EXPECT_EQ(a.status, 200);
  EXPECT_EQ(a.headers["content-length"], "10");

  EXPECT_EQ(Get(Port(), "/a/../b").body, "inner");
  EXPECT_EQ(Get(Port(), "/../secret.txt").body, "www secret");
  // Names arrive lower-cased, files keep their case.
  EXPECT_EQ(Get(Port(), "/MIXED/case.txt").body, "mixed");
}

// Listings escape names in text and links; a missing file gets the error page, which reloads.
TEST_F(HttpTest, ListingAndErrorPage) {
  Write(www + "Docs/<b>&\"x y.txt", std::string(2048, 'x'));
  Write(www + "Docs/big.bin", std::string(1536 * 1024, 'x'));
  std::filesystem::create_directories(www + "Docs/sub");
  Start();
  auto a = Get(Port(), "/Docs/");
  EXPECT_EQ(a.status, 200);
  EXPECT_EQ(a.headers["content-type"], "text/html");
  EXPECT_NE(a.body.find("<td width=\"70%\"><b>Filename</b></td>"), std::string::npos);
  EXPECT_NE(a.body.find("<tr><td><a href=\"/docs/%3Cb%3E%26%22x%20y.txt\">&lt;b&gt;&amp;&quot;x y.txt</a>"
                        "</td><td align=\"right\">2k</td>"),
            std::string::npos)
      << a.body;
  EXPECT_NE(a.body.find(">big.bin</a></td><td align=\"right\">1.5M</td>"), std::string::npos);
  EXPECT_NE(a.body.find(">sub</a></td><td align=\"right\"></td>"), std::string::npos);
  EXPECT_EQ(a.body.find("<b>&"), std::string::npos);
  EXPECT_NE(Log().find("hscg2 sub"), std::string::npos);

  const auto missing = Get(Port(), "/nothing.html");
  EXPECT_EQ(missing.status, 404);
  EXPECT_EQ(missing.body, kNotFoundPage);
}

TEST(HttpPages, ListingSizes) {
  const std::pair<uint64_t, const char*> cases[] = {
      {0, "0"}, {1023, "1023"}, {1024, "1k"}, {1048575, "1023k"}, {1048576, "1M"},
      {1572864, "1.5M"}, {1073741823, "1024M"}, {1073741824, "1G"}, {2415919104ull, "2.25G"},
      {1099511627776ull, "1024G"},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(ListingSize(bytes), text) << bytes;
}

// No spelling of a path reads outside www/ or the picture folder: not dot segments, their
// encodings, backslashes, NULs, absolute paths, nor links planted inside www/.
TEST_F(HttpTest, TraversalCorpusNeverEscapes) {
  const std::string marker = "OUTSIDE-SECRET";
  Write(app + "secret.txt", marker);
  Write(dir.File("secret.txt"), marker);
  Write(dir.File("outdir/" + marker + ".txt"), marker);
  Write(www + "inside.txt", "fine");
  std::filesystem::create_symlink(app + "secret.txt", www + "link.txt");
  std::filesystem::create_symlink(dir.File("outdir"), www + "linkdir");
  std::filesystem::create_symlink("inside.txt", www + "good.txt");
  Start();
  const std::string corpus[] = {
      "/../secret.txt", "/../../secret.txt", "/%2e%2e/secret.txt", "/%2E%2E/%2e%2e/secret.txt",
      "/....//secret.txt", "/..%2fsecret.txt", "/%2e%2e%2fsecret.txt", "/..\\secret.txt",
      "/%2e%2e%5csecret.txt", "/..%5c..%5csecret.txt", "/.%2e/secret.txt", "/%252e%252e/secret.txt",
      "/secret.txt%00.png", "/%00", "/..%00/secret.txt", "//etc/passwd", "/%2fetc%2fpasswd",
      "/" + std::string("") + "%2F..%2F..%2Fsecret.txt", "/link.txt", "/linkdir/",
      "/linkdir/" + std::string("OUTSIDE-SECRET.txt"), "/linkdir/..%2f..%2fsecret.txt",
      "/./../.././secret.txt", "/.../secret.txt", "/..../secret.txt", "/%c0%ae%c0%ae/secret.txt",
      "/%", "/%zz", "/" + std::string(3000, '.') + "/secret.txt",
      "/" + std::string(100, '.') + "%2f" + "secret.txt",
  };
  for (const std::string& target : corpus) {
    for (const char* method : {"GET", "POST"}) {
      const auto a = Fetch(Port(), {method, target, {}});
      EXPECT_EQ(a.body.find("OUTSIDE-SECRET"), std::string::npos) << method << " " << target;
      EXPECT_EQ(a.body.find("root:"), std::string::npos) << method << " " << target;
    }
  }
  EXPECT_EQ(Get(Port(), "/link.txt").status, 404);
  EXPECT_EQ(Get(Port(), "/good.txt").body, "fine");
  EXPECT_EQ(Get(Port(), "/%69nside.txt").body, "fine");
}

// Settings changes stop, move and restart the server; a refused port is told in the status
// line and logged with io1.
TEST_F(HttpTest, RebindingOnSettingsChanges) {
  Write(www + "f.txt", "here");
  Start();
  const int first = Port();
  EXPECT_EQ(Get(first, "/f.txt").body, "here");

  settings.HTTPServerPort = kvtest::FreePort();
  Start();
  EXPECT_EQ(Get(Port(), "/f.txt").body, "here");
  EXPECT_EQ(Get(first, "/f.txt").status, 0);

  settings.HTTPServerActive = false;
  Start();
  EXPECT_FALSE(server.Running());
  EXPECT_EQ(Get(Port(), "/f.txt").status, 0);

  // A port another program holds, even one that offers to share it.
  const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
  const int one = 1;
  ::setsockopt(holder, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  ::setsockopt(holder, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_ANY);
  a.sin_port = htons(static_cast<uint16_t>(Port()));
  ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(holder, 1), 0);
  settings.HTTPServerActive = true;
  Start();
  ::close(holder);
  EXPECT_FALSE(server.Running());
  EXPECT_NE(ui.status.find("cannot listen on port " + std::to_string(Port()) + ": the port is in use"),
            std::string::npos)
      << ui.status;
  EXPECT_NE(Log().find("io1 The HTTP server cannot listen"), std::string::npos);

  if (::geteuid() != 0) {
    settings.HTTPServerPort = 81;
    Start();
    EXPECT_FALSE(server.Running());
    EXPECT_NE(ui.status.find("port 81: ports below 1024 need the privilege"), std::string::npos) << ui.status;
  }
  settings.HTTPServerPort = kvtest::FreePort();
  Start();
  EXPECT_EQ(Get(Port(), "/f.txt").body, "here");
}

// With HTTPUser set, /metrics and everything under /api/ answer only to those credentials, by
// whatever path spelling reaches them; pictures and pages stay open. A wrong try is logged with
// its user name and never its password; a request without credentials is not logged at all.
TEST_F(HttpTest, CredentialsGuardMetricsAndApiOnly) {
  const auto basic = [](const std::string& pair) { return "Authorization: Basic " + Base64Encode(pair); };
  const std::string right = basic("prom:s3cret:x");
  Write(www + "api/notes.txt", "notes");
  Write(www + "f.txt", "here");
  settings.HTTPUser = "prom";
  settings.HTTPPass = "s3cret:x";
  Start();
  server.PublishReadings(std::make_shared<const tHttpReadings>(tHttpReadings{"m 1\n", "{}"}));
  const struct {
    std::string target, header;
    long status;
    std::string logged;  // "" when nothing is logged
  } cases[] = {
      {"/metrics", "", 401, ""},
      {"/metrics", right, 200, ""},
      {"/metrics", "Authorization: basic    " + Base64Encode("prom:s3cret:x"), 200, ""},
      {"/metrics", basic("prom:s3cret"), 401, "hsa1 Refused /metrics to 127.0.0.1 as \"prom\": wrong user name or password"},
      {"/metrics", basic("prom:s3cret:xy"), 401, "as \"prom\": wrong"},
      {"/metrics", basic("Prom:s3cret:x"), 401, "as \"Prom\": wrong"},
      {"/metrics", basic("ev\x01il:pw"), 401, "as \"ev?il\": wrong"},
      {"/metrics", "Authorization: Bearer abc", 401, "unreadable credentials"},
      {"/metrics", "Authorization: Basic %%%", 401, "unreadable credentials"},
      {"/api/v1/readings", "", 401, ""},
      {"/api/v1/readings", right, 200, ""},
      {"/%61pi/v1/readings?x", "", 401, ""},
      {"/API/Notes.txt", "", 401, ""},
      {"/api/", "", 401, ""},
      {"/api/notes.txt", right, 200, ""},
      {"/f.txt", "", 200, ""},
      {"/", "", 200, ""},
  };
  for (const auto& c : cases) {
    const std::string before = Log();
    HttpRequest request{"GET", c.target, {}};
    if (!c.header.empty()) request.headers.push_back(c.header);
    auto answer = Fetch(Port(), request);
    EXPECT_EQ(answer.status, c.status) << c.target << " " << c.header;
    const std::string logged = Log().substr(before.size());
    if (c.status == 401) {
      EXPECT_EQ(answer.headers["www-authenticate"], "Basic realm=\"Kelvara\", charset=\"UTF-8\"");
      EXPECT_EQ(answer.body.find("m 1"), std::string::npos);
    }
    if (c.logged.empty()) EXPECT_EQ(logged.find("hsa1"), std::string::npos) << logged;
    else EXPECT_NE(logged.find(c.logged), std::string::npos) << c.header << "\n" << logged;
  }
  EXPECT_EQ(Log().find("s3cret"), std::string::npos);

  // Taking the user away opens them again, without a restart.
  settings.HTTPUser.clear();
  Start();
  EXPECT_EQ(Get(Port(), "/metrics").body, "m 1\n");
}

// HTTPServerBind: the server is reachable at that address only; an address that is no number or
// not this machine's keeps it off with the reason in the status line and the log.
TEST_F(HttpTest, ListensOnTheBindAddressOnly) {
  Write(www + "f.txt", "here");
  const int probe = ::socket(AF_INET6, SOCK_STREAM, 0);
  sockaddr_in6 loop6{};
  loop6.sin6_family = AF_INET6;
  loop6.sin6_addr = in6addr_loopback;
  const bool ipv6 = probe >= 0 && ::bind(probe, reinterpret_cast<sockaddr*>(&loop6), sizeof loop6) == 0;
  if (probe >= 0) ::close(probe);
  const struct {
    std::string bind;
    std::vector<std::string> reached, refused;
    std::string status;  // "" when it listens
  } cases[] = {
      {"", {"127.0.0.1", "127.0.0.2"}, {}, ""},
      {"127.0.0.1", {"127.0.0.1"}, {"127.0.0.2"}, ""},
      {" 127.0.0.2 ", {"127.0.0.2"}, {"127.0.0.1"}, ""},
      {"::1", {"[::1]"}, {"127.0.0.1"}, ""},
      {"[::1]", {"[::1]"}, {"127.0.0.1"}, ""},
      {"localhost", {}, {"127.0.0.1"}, "\"localhost\" is not an IPv4 or IPv6 address"},
      {"192.0.2.7", {}, {"127.0.0.1"}, "cannot listen on 192.0.2.7 port " + std::to_string(Port()) +
                                           ": the address is not one of this machine's"},
  };
  for (const auto& c : cases) {
    if (!ipv6 && c.bind.find(':') != std::string::npos) continue;  // a machine without IPv6 loopback
    ui.status.clear();
    settings.HTTPServerBind = c.bind;
    Start();
    EXPECT_EQ(server.Running(), c.status.empty()) << c.bind;
    for (const std::string& host : c.reached)
      EXPECT_EQ(Fetch(Port(), {"GET", "/f.txt", {}, false, 0, host}).body, "here") << c.bind << " " << host;
    for (const std::string& host : c.refused)
      EXPECT_EQ(Fetch(Port(), {"GET", "/f.txt", {}, false, 0, host}).status, 0) << c.bind << " " << host;
    if (!c.status.empty()) {
      EXPECT_NE(ui.status.find(c.status), std::string::npos) << ui.status;
      EXPECT_NE(Log().find("io1 " + ui.status.substr(0, ui.status.size() - 1)), std::string::npos);
    }
  }
}

// With Kelvara.pem (key and certificate in one file) the same port speaks only HTTPS, and
// only TLS 1.2 or later; a broken file is refused with io1 and the server stays down.
TEST_F(HttpTest, HttpsWhenThePemFileExists) {
  const std::string key = dir.File("key.pem"), cert = dir.File("cert.pem");
  const std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost -keyout " +
                              key + " -out " + cert + " 2>/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  Write(app + "Kelvara.pem", kvtest::ReadFile(key) + kvtest::ReadFile(cert));
  Write(www + "f.txt", "secure");
  Start();
  EXPECT_TRUE(server.Tls());
  HttpRequest tls{"GET", "/f.txt", {}, true};
  auto a = Fetch(Port(), tls);
  EXPECT_EQ(a.status, 200) << a.error;
  EXPECT_EQ(a.body, "secure");
  EXPECT_NE(Get(Port(), "/f.txt").status, 200);
  tls.maxTls = static_cast<long>(CURL_SSLVERSION_TLSv1_0) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_1);
  EXPECT_EQ(Fetch(Port(), tls).status, 0);

  Write(app + "Kelvara.pem", "not a key");
  Start();
  EXPECT_FALSE(server.Running());
  EXPECT_NE(Log().find("io1 The HTTPS server cannot use"), std::string::npos);
  std::filesystem::remove(app + "Kelvara.pem");
  Start();
  EXPECT_FALSE(server.Tls());
  EXPECT_EQ(Get(Port(), "/f.txt").body, "secure");
}

// The server module is found beside the program or in ../lib/kelvara/modules/; a missing or
// foreign file is a clear error, not a crash, and the server stays down with the reason shown.
TEST(HttpdModule, FoundWhereInstalledAndRefusedOtherwise) {
  kvtest::TempDir dir;
  const std::string bin = dir.File("bin/"), lib = dir.File("lib/kelvara/modules/");
  std::filesystem::create_directories(bin);
  auto module = LoadHttpdModule(bin);
  EXPECT_FALSE(module.make);
  EXPECT_NE(module.error.find("kelvara-httpd.so is missing"), std::string::npos) << module.error;

  kvtest::WriteFile(bin + "kelvara-httpd.so", "not a library");
  module = LoadHttpdModule(bin);
  EXPECT_FALSE(module.make);
  EXPECT_NE(module.error.find("cannot be loaded"), std::string::npos) << module.error;

  std::filesystem::remove(bin + "kelvara-httpd.so");
  std::filesystem::create_directories(lib);
  std::filesystem::copy_file(std::string(KV_BIN_DIR) + "/kelvara-httpd.so", lib + "kelvara-httpd.so");
  module = LoadHttpdModule(bin);
  ASSERT_TRUE(module.make) << module.error;
  std::unique_ptr<IHttpd> httpd(module.make());
  EXPECT_FALSE(httpd->Running());
}

// Switched off, the server costs nothing: the module and its TLS libraries stay unloaded.
TEST(HttpdModule, NotLoadedWhileTheServerIsOff) {
  testing::GTEST_FLAG(death_test_style) = "threadsafe";  // a fresh process, nothing loaded yet
  EXPECT_EXIT(
      {
        tSettings settings;
        settings.HTTPServerActive = false;
        THttpServer server;
        kvtest::RecordingUi ui;
        server.Apply(settings, tProcessFacts{.AppDir = "/nonexistent/", .SettingsDir = "/nonexistent/"},
                     "/nonexistent/", ui);
        const std::string maps = kvtest::ReadFile("/proc/self/maps");
        std::exit(maps.find("kelvara-httpd.so") == std::string::npos &&
                          maps.find("libmicrohttpd") == std::string::npos && maps.find("libgnutls") == std::string::npos
                      ? 0
                      : 1);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
