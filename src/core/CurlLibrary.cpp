#include "core/CurlLibrary.h"

#include <dlfcn.h>

#include <atomic>
#include <mutex>

namespace kv {

namespace {

constexpr const char* CurlFile = "libcurl.so.4";
// The oldest release that knows every option we set (CURLOPT_PROTOCOLS_STR). An older one
// would ignore the protocol limits silently.
constexpr unsigned OldestCurl = 0x075500;
constexpr const char* OldestCurlText = "7.85.0";

// Each failure of dlopen or dlsym leaves one text behind; a second call returns null.
std::string LoadFailure(const char* file) {
  const char* why = dlerror();
  return std::string(file) + " cannot be loaded: " + (why ? why : "unknown error");
}

template <typename F>
void Find(void* handle, const char* file, const char* name, F& slot) {
  dlerror();
  void* symbol = dlsym(handle, name);
  if (!symbol) {
    const std::string message = LoadFailure(file);
    dlclose(handle);
    throw CurlLoadError(message);
  }
  slot = reinterpret_cast<F>(symbol);
}

}  // namespace

tCurlLibrary OpenCurlLibrary(const char* file) {
  void* handle = dlopen(file, RTLD_NOW | RTLD_LOCAL);
  if (!handle) throw CurlLoadError(LoadFailure(file));
  tCurlLibrary lib;
  Find(handle, file, "curl_global_init", lib.global_init);
  Find(handle, file, "curl_easy_init", lib.easy_init);
  Find(handle, file, "curl_easy_cleanup", lib.easy_cleanup);
  Find(handle, file, "curl_easy_reset", lib.easy_reset);
  Find(handle, file, "curl_easy_setopt", lib.easy_setopt);
  Find(handle, file, "curl_easy_perform", lib.easy_perform);
  Find(handle, file, "curl_easy_getinfo", lib.easy_getinfo);
  Find(handle, file, "curl_easy_strerror", lib.easy_strerror);
  Find(handle, file, "curl_slist_append", lib.slist_append);
  Find(handle, file, "curl_slist_free_all", lib.slist_free_all);
  Find(handle, file, "curl_version_info", lib.version_info);
  return lib;  // the handle stays open for the rest of the process
}

const tCurlLibrary& CurlLibrary() {
  static std::mutex mutex;
  static tCurlLibrary library;
  static std::atomic<bool> ready{false};
  if (ready.load(std::memory_order_acquire)) return library;
  std::lock_guard<std::mutex> lock(mutex);
  if (!ready.load(std::memory_order_relaxed)) {
    tCurlLibrary lib = OpenCurlLibrary(CurlFile);
    const curl_version_info_data* version = lib.version_info(CURLVERSION_NOW);
    if (!version || version->version_num < OldestCurl)
      throw CurlLoadError(std::string(CurlFile) + " cannot be used: version " +
                          (version && version->version ? version->version : "unknown") +
                          " is older than " + OldestCurlText);
    // Never cleaned up: transfer threads may still be ending while the process exits.
    const CURLcode rc = lib.global_init(CURL_GLOBAL_DEFAULT);
    if (rc != CURLE_OK)
      throw CurlLoadError(std::string(CurlFile) + " cannot be initialised: " + lib.easy_strerror(rc));
    library = lib;
    ready.store(true, std::memory_order_release);
  }
  return library;
}

}  // namespace kv
