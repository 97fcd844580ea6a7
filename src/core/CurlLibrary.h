#pragma once
// libcurl's functions, found when the first transfer needs them. Linking libcurl would load it,
// its TLS stack and a dozen protocol libraries into every start, although uploads and the update
// check are rare or off; the header stays for the types and constants.
#include <curl/curl.h>

#include <stdexcept>
#include <string>
#include <type_traits>

namespace kv {

struct tCurlLibrary {
  CURLcode (*global_init)(long flags) = nullptr;
  CURL* (*easy_init)() = nullptr;
  void (*easy_cleanup)(CURL* curl) = nullptr;
  void (*easy_reset)(CURL* curl) = nullptr;
  CURLcode (*easy_setopt)(CURL* curl, CURLoption option, ...) = nullptr;
  CURLcode (*easy_perform)(CURL* curl) = nullptr;
  CURLcode (*easy_getinfo)(CURL* curl, CURLINFO info, ...) = nullptr;
  const char* (*easy_strerror)(CURLcode code) = nullptr;
  curl_slist* (*slist_append)(curl_slist* list, const char* text) = nullptr;
  void (*slist_free_all)(curl_slist* list) = nullptr;
  curl_version_info_data* (*version_info)(CURLversion stamp) = nullptr;

  // easy_setopt through a variadic pointer checks nothing, and libcurl reads a long, a
  // curl_off_t or a pointer: an int here would be read as a long with garbage above it.
  template <typename T>
  CURLcode Set(CURL* curl, CURLoption option, T value) const {
    static_assert(std::is_same_v<T, long> || std::is_same_v<T, curl_off_t> ||
                      std::is_pointer_v<T> || std::is_null_pointer_v<T>,
                  "libcurl options take a long, a curl_off_t or a pointer");
    return easy_setopt(curl, option, value);
  }
};

// The library could not be loaded or initialised; the text says which file and why.
class CurlLoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The process's libcurl: loaded and globally initialised by the first call, then kept for good.
// Thread-safe. Throws CurlLoadError; a failed load is tried again by the next transfer.
const tCurlLibrary& CurlLibrary();

// Opens file with dlopen and looks up every function; nothing is initialised. Throws
// CurlLoadError ("<file> cannot be loaded: <why>"). For CurlLibrary and tests.
tCurlLibrary OpenCurlLibrary(const char* file);

}  // namespace kv
