#include "tools/SysInfoWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include "app/Monitor.h"
#include "settings/Language.h"
#include "settings/Settings.h"
#include "tools/SysInfo.h"

namespace kv {

namespace {

// A menu caption as a button or title text: without its accelerator mark and trailing dots.
QString CaptionText(const char* name, const char* fallback) {
  std::string t = Captions().Caption(name);
  std::string out;
  for (char c : t)
    if (c != '&') out += c;
  while (!out.empty() && (out.back() == '.' || out.back() == ' ')) out.pop_back();
  return QString::fromStdString(out.empty() ? fallback : out);
}

}  // namespace

SysInfoWindow::SysInfoWindow(tMonitor& m, int periodMs, QWidget* parent) : QWidget(parent), m_(m) {
  setObjectName("TfrmSysInfo");
  setWindowTitle("Kelvara - " + CaptionText("mnuSystemInfo", "System information"));

  table_ = new QPlainTextEdit(this);
  table_->setObjectName("table");
  table_->setReadOnly(true);
  table_->setLineWrapMode(QPlainTextEdit::NoWrap);
  table_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  status_ = new QLabel(this);
  status_->setObjectName("status");
  copy_ = new QPushButton(CaptionText("mnuCopyToClipboard", "Copy"), this);
  copy_->setObjectName("copy");
  connect(copy_, &QPushButton::clicked, this, [this] { CopyToClipboard(); });

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(status_, 1);
  bottom->addWidget(copy_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(table_, 1);
  layout->addLayout(bottom);
  resize(520, 640);

  timer_ = new QTimer(this);
  timer_->setInterval(periodMs);
  connect(timer_, &QTimer::timeout, this, &SysInfoWindow::Pass);
  timer_->start();
  Pass();
}

void SysInfoWindow::Pass() {
  // The first pass also runs the slow scans (disks, BOINC), so the table is whole at once.
  m_.Pass.ReadAllValues(refreshes_ == 0);
  // Keep the reader's scroll position while the lines change under it.
  const int scroll = table_->verticalScrollBar() ? table_->verticalScrollBar()->value() : 0;
  table_->setPlainText(QString::fromStdString(ReadingsTable(m_.Current, m_.Settings)));
  table_->verticalScrollBar()->setValue(scroll);
  ++refreshes_;
  status_->setText(QString("#%1  %2").arg(m_.Current.PassCount).arg(QDateTime::currentDateTime().toString("HH:mm:ss")));
  emit Refreshed();
}

QString SysInfoWindow::TableText() const { return table_->toPlainText(); }

void SysInfoWindow::CopyToClipboard() const { QApplication::clipboard()->setText(TableText()); }

bool HasDisplay() {
  return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
         !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

int ShowSysInfoWindow(tMonitor& m) {
  ApplyCaptions(m.Process, EnglishLanguageFile);
  ApplyCaptions(m.Process, m.Settings.LangFile);
  SysInfoWindow window(m);
  window.show();
  return QApplication::exec();
}

}  // namespace kv
