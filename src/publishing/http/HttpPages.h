#pragma once
// The pages the server makes itself (index, directory listing, error) and the content types by
// file extension. Every line ends with CR LF.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kv {

// Where the page footers link to.
extern const char* const ProductSite;

// The index page: the light (right-aligned) and the banner when their files exist, reloading
// itself every five minutes.
std::string IndexPage(const std::string& light, bool lightExists, const std::string& banner,
                      bool bannerExists);

struct tListingEntry {
  std::string name;               // as the file system stores it
  std::optional<uint64_t> size;   // none for a directory
  std::optional<int64_t> unixMs;  // last modification; none when it cannot be read
};
// The listing of the directory that doc names; names are escaped in text and in links.
std::string ListingPage(const std::string& doc, const std::vector<tListingEntry>& entries);

// The 404 page and the like, headed by the status's reason phrase.
std::string ErrorPage(const std::string& reason);

// 1023, 12k, 1.5M, 2.25G.
std::string ListingSize(uint64_t bytes);

// By the name's extension, case-insensitive; "application/octet-stream" when unknown.
std::string ContentTypeFor(const std::string& name);

std::string HtmlEscape(const std::string& text);
// Percent-encodes every byte but the unreserved ones and "/".
std::string UrlEscape(const std::string& text);

}  // namespace kv
