#pragma once
// kvsysinfo's window: the readings table, a pass every few seconds, and a button that puts the
// text on the clipboard.
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace kv {

struct tMonitor;

class SysInfoWindow : public QWidget {
  Q_OBJECT
 public:
  // The first pass over m runs at once; then one every periodMs.
  explicit SysInfoWindow(tMonitor& m, int periodMs = DefaultPeriodMs, QWidget* parent = nullptr);
  static constexpr int DefaultPeriodMs = 3000;

  QString TableText() const;
  int Refreshes() const { return refreshes_; }
  void CopyToClipboard() const;

 signals:
  void Refreshed();

 private:
  void Pass();

  tMonitor& m_;
  QPlainTextEdit* table_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* copy_ = nullptr;
  QTimer* timer_ = nullptr;
  int refreshes_ = 0;
};

// Whether a window can be shown at all: a display named, or a platform chosen.
bool HasDisplay();
// Shows the window over m until it is closed; the QApplication exists and the settings are read.
int ShowSysInfoWindow(tMonitor& m);

}  // namespace kv
