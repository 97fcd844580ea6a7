#include "publishing/HttpClient.h"

#include <algorithm>
#include <cctype>

#include "publishing/CurlLibrary.h"

namespace kvtest {

namespace {

size_t Collect(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

size_t Header(char* data, size_t size, size_t count, void* target) {
  std::string line(data, size * count);
  const size_t colon = line.find(':');
  if (colon != std::string::npos) {
    std::string name = line.substr(0, colon);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    std::string value = line.substr(colon + 1);
    value.erase(0, value.find_first_not_of(' '));
    while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) value.pop_back();
    (*static_cast<std::map<std::string, std::string>*>(target))[name] = value;
  }
  return size * count;
}

}  // namespace

HttpAnswer Fetch(int port, const HttpRequest& r) {
  HttpAnswer a;
  // Through the product's loader, so the suite itself does not link libcurl.
  const kv::tCurlLibrary& lib = kv::CurlLibrary();
  CURL* curl = lib.easy_init();
  const std::string url = std::string(r.https ? "https" : "http") + "://127.0.0.1:" + std::to_string(port) + "/";
  lib.Set(curl, CURLOPT_URL, url.c_str());
  lib.Set(curl, CURLOPT_REQUEST_TARGET, r.target.c_str());
  lib.Set(curl, CURLOPT_PATH_AS_IS, 1L);
  lib.Set(curl, CURLOPT_TIMEOUT, 20L);
  lib.Set(curl, CURLOPT_NOSIGNAL, 1L);
  lib.Set(curl, CURLOPT_WRITEFUNCTION, Collect);
  lib.Set(curl, CURLOPT_WRITEDATA, &a.body);
  lib.Set(curl, CURLOPT_HEADERFUNCTION, Header);
  lib.Set(curl, CURLOPT_HEADERDATA, &a.headers);
  lib.Set(curl, CURLOPT_SSL_VERIFYPEER, 0L);
  lib.Set(curl, CURLOPT_SSL_VERIFYHOST, 0L);
  if (r.maxTls) lib.Set(curl, CURLOPT_SSLVERSION, r.maxTls);
  if (r.method == "HEAD") lib.Set(curl, CURLOPT_NOBODY, 1L);
  if (r.method == "POST") lib.Set(curl, CURLOPT_POSTFIELDS, "x=1");
  curl_slist* list = nullptr;
  for (const std::string& h : r.headers) list = lib.slist_append(list, h.c_str());
  if (list) lib.Set(curl, CURLOPT_HTTPHEADER, list);
  const CURLcode rc = lib.easy_perform(curl);
  if (rc == CURLE_OK) lib.easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &a.status);
  else a.error = lib.easy_strerror(rc);
  lib.slist_free_all(list);
  lib.easy_cleanup(curl);
  return a;
}

}  // namespace kvtest
