#pragma once
#include "core/UiPort.h"

namespace kv {

// The user-facing port when a display is available.
class WidgetUi final : public UiPort {
 public:
  void ShowStatus(const std::string& text) override;
  void ShowMessage(const std::string& text, const std::string& caption, bool error) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  void SetTrayTip(const std::string&) override {}
  void SetTrayIconSlot(int) override {}
  void RequestRedraw() override {}
};

}  // namespace kv
