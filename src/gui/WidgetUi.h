#pragma once
#include "core/UiPort.h"

namespace kv {

class TfrmKelvaraMain;

// The user-facing port when a display is available. Before the main window exists (start-up
// questions) status lines go to the event log and questions have no parent.
class WidgetUi final : public UiPort {
 public:
  void SetWindow(TfrmKelvaraMain* window) { window_ = window; }
  TfrmKelvaraMain* Window() const { return window_; }

  void ShowStatus(const std::string& text) override;
  void ShowMessage(const std::string& text, const std::string& caption, bool error) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  void SetTrayTip(const std::string& tip) override;
  void SetTrayIconSlot(int slot) override;
  // The cycle's show request (a second start): the window comes to the front.
  void RequestRedraw() override;
  void ShowMainWindow() override;
  void HideMainWindow() override;

 private:
  TfrmKelvaraMain* window_ = nullptr;
};

}  // namespace kv
