#pragma once
// The project's own addresses, in one place, and the way they are opened.
#include <string>

namespace kv {

struct tWebAddresses {
  const char* site;
  const char* features;  // the splash window's click
  const char* forumEnglish;
  const char* forumGerman;
  const char* chat;
  const char* bugMail;
};
extern const tWebAddresses WebAddresses;

// Hands the address to the desktop's URL handler (xdg-open); a failure is silent.
void OpenInBrowser(const std::string& address);

}  // namespace kv
