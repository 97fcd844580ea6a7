#include "publishing/http/HttpPages.h"

#include <cstdio>
#include <utility>

#include "core/DateTime.h"
#include "core/Process.h"
#include "core/Text.h"

namespace kv {

const char* const ProductSite = "https://kelvara.org/";

namespace {

const char* const kDocType =
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
    "\"http://www.w3.org/TR/xhtml2/DTD/xhtml1-transitional.dtd\">\r\n";
const char* const kHtmlStart = "<html xmlns=\"http://www.w3.org/1999/xhtml\">";
const char* const kReloadScript =
    "<script type=\"text/javascript\" language=\"javascript\"><!--\r\n"
    "setTimeout('window.location.reload()', 300000);\r\n"
    "//--></script>\r\n";

std::string Footer() {
  return std::string(ProductVersion) + " <a href=\"" + ProductSite + "\">" + ProductSite + "</a></address>\r\n";
}

std::string Head() {
  // Appended in place: GCC 12 with _FORTIFY_SOURCE warns falsely when the chain's temporaries move.
  std::string head = kDocType;
  head.append(kHtmlStart).append("<head><title>").append(ProductName).append("</title></head><body>");
  return head;
}

// Extension (lower case, without the dot) and type.
const std::pair<const char*, const char*> kContentTypes[] = {
    {"png", "image/png"}, {"gif", "image/gif"}, {"jpg", "image/jpeg"}, {"jpeg", "image/jpeg"},
    {"bmp", "image/bmp"}, {"ico", "image/x-icon"}, {"svg", "image/svg+xml"}, {"webp", "image/webp"},
    {"html", "text/html"}, {"htm", "text/html"}, {"css", "text/css"}, {"txt", "text/plain"},
    {"csv", "text/csv"}, {"xml", "text/xml"}, {"js", "text/javascript"}, {"mjs", "text/javascript"},
    {"json", "application/json"}, {"pdf", "application/pdf"}, {"zip", "application/zip"},
    {"gz", "application/gzip"}, {"wasm", "application/wasm"}, {"woff", "font/woff"},
    {"woff2", "font/woff2"}, {"ttf", "font/ttf"}, {"mp4", "video/mp4"}, {"webm", "video/webm"},
    {"mp3", "audio/mpeg"}, {"wav", "audio/wav"}, {"log", "text/plain"},
};

}  // namespace

std::string HtmlEscape(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string UrlEscape(const std::string& text) {
  static const char* const hex = "0123456789ABCDEF";
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~' || c == '/') {
      out += ch;
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string IndexPage(const std::string& light, bool lightExists, const std::string& banner,
                      bool bannerExists) {
  std::string page = Head() + "\r\n";
  if (lightExists) page += "<img align=\"right\" src=\"" + HtmlEscape(UrlEscape(light)) + "\" alt=\"\" />\r\n";
  if (bannerExists) page += "<img src=\"" + HtmlEscape(UrlEscape(banner)) + "\" alt=\"\" />\r\n";
  page += "<hr /><address>" + Footer();
  page += kReloadScript;
  page += "</body></html>\r\n";
  return page;
}

std::string ListingSize(uint64_t bytes) {
  char buf[48];
  if (bytes < 1024) return std::to_string(bytes);
  if (bytes < 1048576) return std::to_string(bytes / 1024) + "k";
  // "0.#" and "0.##": optional decimals, trailing zeros dropped.
  const bool mega = bytes < 1073741824;
  std::snprintf(buf, sizeof buf, mega ? "%.1f" : "%.2f", bytes / (mega ? 1048576.0 : 1073741824.0));
  std::string s = buf;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s + (mega ? "M" : "G");
}

std::string ListingPage(const std::string& doc, const std::vector<tListingEntry>& entries) {
  std::string page = Head() + "<table border=\"0\" width=\"100%\">\r\n";
  page +=
      "<tr><td width=\"70%\"><b>Filename</b></td><td align=\"right\" width=\"10%\"><b>Size</b></td>"
      "<td align=\"right\" width=\"20%\"><b>Time</b></td></tr>\r\n";
  for (const tListingEntry& e : entries) {
    const std::string size = e.size ? ListingSize(*e.size) : "";
    std::string time;
    if (e.unixMs) {
      const TDateTime local = UtcToLocal(DateTimeFromUnixMs(*e.unixMs));
      time = ShortDateText(local) + " " + LongTimeText(local);
    }
    page += "<tr><td><a href=\"" + HtmlEscape(UrlEscape("/" + doc + "/" + e.name)) + "\">" +
            HtmlEscape(e.name) + "</a></td><td align=\"right\">" + size + "</td><td align=\"right\">" +
            HtmlEscape(time) + "</td></tr>\r\n";
  }
  page += "</table><hr /><address>" + Footer();
  page += kReloadScript;
  page += "</body></html>\r\n";
  return page;
}

std::string ErrorPage(const std::string& reason) {
  return "<html><head><title>Error</title></head><body><h1>" + HtmlEscape(reason) + "</h1>\r\n" +
         kReloadScript + "</body></html>\r\n";
}

std::string ContentTypeFor(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || name.find('/', dot) != std::string::npos) return "application/octet-stream";
  const std::string ext = LowerCase(name.substr(dot + 1));
  for (const auto& [e, type] : kContentTypes)
    if (ext == e) return type;
  return "application/octet-stream";
}

}  // namespace kv
