#pragma once
#include <functional>
#include <string>

#include "core/UiPort.h"

class QWidget;

namespace kv {

class TfrmKelvaraMain;

// The user-facing port when a display is available. Before the main window exists (start-up
// questions) status lines go to the event log and questions have no parent.
class WidgetUi final : public UiPort {
 public:
  // A Yes/No question over parent (nullptr: none); true for Yes.
  using tQuestion = std::function<bool(QWidget* parent, const std::string& text, const std::string& caption)>;
  // The question box unless another question is given.
  explicit WidgetUi(tQuestion question = {});

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
  tQuestion question_;
  TfrmKelvaraMain* window_ = nullptr;
};

}  // namespace kv
