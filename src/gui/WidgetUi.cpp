#include "gui/WidgetUi.h"

#include <QMessageBox>

#include "core/EventLog.h"

namespace kv {

void WidgetUi::ShowStatus(const std::string& text) { LogEvent("Status: " + text); }

void WidgetUi::ShowMessage(const std::string& text, const std::string& caption, bool error) {
  QMessageBox box(error ? QMessageBox::Critical : QMessageBox::Information,
                  QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok);
  box.exec();
}

bool WidgetUi::AskYesNo(const std::string& text, const std::string& caption) {
  return QMessageBox::question(nullptr, QString::fromStdString(caption),
                               QString::fromStdString(text),
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace kv
