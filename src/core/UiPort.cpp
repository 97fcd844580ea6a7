#include "core/UiPort.h"

#include "core/EventLog.h"

#include <cstdio>

namespace kv {

void HeadlessUi::ShowStatus(const std::string& text) { LogEvent("Status: " + text); }

void HeadlessUi::ShowMessage(const std::string& text, const std::string& caption, bool error) {
  LogEvent(caption + ": " + text);
  // Without a window an error must still reach whoever started the program.
  if (error) std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

bool HeadlessUi::AskYesNo(const std::string& text, const std::string& caption) {
  LogEvent(caption + ": " + text + " (answered No)");
  return false;
}

}  // namespace kv
