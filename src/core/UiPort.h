#pragma once
// The seam between the core and whatever shows things to the user. The core never calls a
// window: the GUI implements this with widgets, headless mode with the event log.
#include <string>

namespace kv {

class UiPort {
 public:
  virtual ~UiPort() = default;
  virtual void ShowStatus(const std::string& text) = 0;
  // A message box; error selects the error icon.
  virtual void ShowMessage(const std::string& text, const std::string& caption, bool error) = 0;
  // A Yes/No question; true for Yes.
  virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
  virtual void SetTrayTip(const std::string& tip) = 0;
  virtual void SetTrayIconSlot(int slot) = 0;
  virtual void RequestRedraw() = 0;
  // The main window: shown and raised (another start asked for it), or hidden to the tray
  // (closing while HideOnClose). Without windows there is nothing to show or hide.
  virtual void ShowMainWindow() {}
  virtual void HideMainWindow() {}
};

// Headless: messages go to the event log, every question is answered No.
class HeadlessUi final : public UiPort {
 public:
  void ShowStatus(const std::string& text) override;
  void ShowMessage(const std::string& text, const std::string& caption, bool error) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  void SetTrayTip(const std::string&) override {}
  void SetTrayIconSlot(int) override {}
  void RequestRedraw() override {}
};

}  // namespace kv
