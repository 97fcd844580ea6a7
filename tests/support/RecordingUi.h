#pragma once
// A user interface for tests: answers every question the same way and keeps what it was shown.
#include <string>

#include "core/UiPort.h"

namespace kvtest {

class RecordingUi final : public kv::UiPort {
 public:
  void ShowStatus(const std::string& text) override { status += text + "\n"; }
  void ShowMessage(const std::string& text, const std::string&, bool) override { messages += text + "\n"; }
  bool AskYesNo(const std::string&, const std::string&) override { return ++asked, answer; }
  void SetTrayTip(const std::string& text) override { tip = text; }
  void SetTrayIconSlot(int slot) override { iconSlot = slot; }
  void RequestRedraw() override { ++redraws; }

  std::string status;    // every status text, one per line
  std::string messages;  // every message box's text, one per line
  std::string tip;
  bool answer = false;
  int asked = 0, iconSlot = -1, redraws = 0;
};

}  // namespace kvtest
