#include "gui/WidgetUi.h"

#include <QMessageBox>

#include "core/EventLog.h"
#include "gui/MainWindow.h"
#include "gui/StatusPanel.h"

namespace kv {

WidgetUi::WidgetUi(tQuestion question) : question_(std::move(question)) {
  if (!question_)
    question_ = [](QWidget* parent, const std::string& text, const std::string& caption) {
      return QMessageBox::question(parent, QString::fromStdString(caption), QString::fromStdString(text),
                                   QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
}

void WidgetUi::ShowStatus(const std::string& text) {
  if (window_) window_->ShowStatus(text);
  else LogEvent("Status: " + text);
}

void WidgetUi::ShowMessage(const std::string& text, const std::string& caption, bool error) {
  QMessageBox box(error ? QMessageBox::Critical : QMessageBox::Information, QString::fromStdString(caption),
                  QString::fromStdString(text), QMessageBox::Ok,
                  window_ && window_->isVisible() ? window_ : nullptr);
  box.exec();
}

bool WidgetUi::AskYesNo(const std::string& text, const std::string& caption) {
  return question_(window_ && window_->isVisible() ? window_ : nullptr, text, caption);
}

void WidgetUi::SetTrayTip(const std::string& tip) {
  if (window_) window_->SetTrayTip(tip);
}

void WidgetUi::SetTrayIconSlot(int slot) {
  if (window_) window_->SetTrayIconSlot(slot);
}

void WidgetUi::RequestRedraw() {
  if (window_) window_->StatusPanel().ProgressChanged();
}

void WidgetUi::ShowMainWindow() {
  if (window_) window_->ShowInstance();
}

void WidgetUi::HideMainWindow() {
  if (window_ && window_->TrayAvailable()) window_->HideToTray();
}

}  // namespace kv
