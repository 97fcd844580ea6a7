#pragma once
// The options window: one page per entry of the page table, each built from its rows.
#include <QDialog>
#include <QRect>
#include <QSize>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/Monitor.h"
#include "tools/options/OptionsModel.h"

class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QWidget;

namespace kv {

class OptionsDialog : public QDialog {
  Q_OBJECT
 public:
  // Loads the values of m's settings folder and reads m's sources once; debug and expert show
  // those pages. ask is the question asked before writing over a file changed on disk since the
  // dialog read it, or over a login entry that is not ours (the question's text key, the
  // files); by default the user answers it in a message box.
  OptionsDialog(tMonitor& m, bool debug, bool expert, OptionsModel::tQuestion ask = {}, QWidget* parent = nullptr);

  bool HasPage(int number) const { return stackIndex_.count(number) > 0; }
  bool ShowPage(int number);  // false for a page that is not shown
  int CurrentPage() const;
  // Takes every edited field, then writes; false when a field was refused or nothing was written.
  bool Apply();
  QString Message() const;
  const OptionsModel& Model() const { return model_; }

  void accept() override;

  // The start size: as large as the pages like, within the available screen area less the
  // window manager's frame (FrameAllowance).
  void FitInto(const QRect& available);
  static constexpr QSize FrameAllowance{16, 48};

 private:
  QWidget* BuildPage(int number);
  QWidget* Editor(const tOptionRow& row);
  bool Commit(const tOptionRow& row, QWidget* editor);
  void Revert(const tOptionRow& row, QWidget* editor);
  void ShowMessage(const std::string& key);
  std::string Caption(const tOptionRow& row) const;
  QLabel* CaptionLabel(const tOptionRow& row);
  void ShowTemperatureUnit(bool celsius);
  // The Test button beside the mail account and the line that shows how its mail went.
  QWidget* MailTestRow();
  void SendTestMail(QPushButton* button, QLabel* result);

  tMonitor& m_;
  OptionsModel model_;
  OptionTexts texts_;
  OptionsModel::tQuestion ask_;
  QListWidget* pages_ = nullptr;
  QStackedWidget* stack_ = nullptr;
  QLabel* message_ = nullptr;
  std::map<int, int> stackIndex_;  // page number -> index
  std::map<const tOptionRow*, QWidget*> editors_;
  std::vector<std::pair<const tOptionRow*, QLabel*>> temperatureLabels_;
  tMailSender mailer_;  // declared last: its thread is ended before any widget goes
};

// The program: kvoptions PAGE [D|-] [E|-].
int RunOptions(int argc, char** argv);

}  // namespace kv
