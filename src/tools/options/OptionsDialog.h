#pragma once
// The options window: one page per entry of the page table, each built from its rows.
#include <QDialog>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tools/options/OptionsModel.h"

class QLabel;
class QListWidget;
class QStackedWidget;
class QWidget;

namespace kv {

class OptionsDialog : public QDialog {
  Q_OBJECT
 public:
  // Loads the values (SettingsDir, AppDir set); debug and expert show those pages.
  OptionsDialog(bool debug, bool expert, QWidget* parent = nullptr);

  bool HasPage(int number) const { return stackIndex_.count(number) > 0; }
  bool ShowPage(int number);  // false for a page that is not shown
  int CurrentPage() const;
  // The question asked before writing over a file changed on disk since the dialog read it, or
  // over a login entry that is not ours (the question's text key, the files); the default asks
  // the user with a message box.
  void SetConflictQuestion(OptionsModel::tQuestion ask) { ask_ = std::move(ask); }
  // Takes every edited field, then writes; false when a field was refused or nothing was written.
  bool Apply();
  QString Message() const;
  const OptionsModel& Model() const { return model_; }

  void accept() override;

 private:
  QWidget* BuildPage(int number);
  QWidget* Editor(const tOptionRow& row);
  bool Commit(const tOptionRow& row, QWidget* editor);
  void Revert(const tOptionRow& row, QWidget* editor);
  void ShowMessage(const std::string& key);
  std::string Caption(const tOptionRow& row) const;
  QLabel* CaptionLabel(const tOptionRow& row);
  void ShowTemperatureUnit(bool celsius);

  OptionsModel model_;
  OptionTexts texts_;
  OptionsModel::tQuestion ask_;
  QListWidget* pages_ = nullptr;
  QStackedWidget* stack_ = nullptr;
  QLabel* message_ = nullptr;
  std::map<int, int> stackIndex_;  // page number -> index
  std::map<const tOptionRow*, QWidget*> editors_;
  std::vector<std::pair<const tOptionRow*, QLabel*>> temperatureLabels_;
};

// The program: kvoptions PAGE [D|-] [E|-].
int RunOptions(int argc, char** argv);

}  // namespace kv
