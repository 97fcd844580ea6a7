#include "tools/options/OptionsDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStackedWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cstdio>

#include "alerts/AlertMail.h"
#include "alerts/AlertUnits.h"
#include "core/DateTime.h"
#include "core/EventLog.h"
#include "core/Process.h"
#include "core/ProgramInfo.h"
#include "platform/DataFiles.h"
#include "platform/System.h"
#include "settings/Settings.h"
#include "settings/SettingsFolder.h"
#include "readvalue/HwmonSource.h"
#include "tools/options/SensorInventory.h"

namespace kv {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

void PaintSwatch(QToolButton* button, const std::string& colourText) {
  const long bgr = ParseColourText(colourText);
  if (bgr < 0) return;
  button->setStyleSheet(Q("background-color: " + ColourText(bgr) + ";"));
}

}  // namespace

OptionsDialog::OptionsDialog(tMonitor& m, bool debug, bool expert, OptionsModel::tQuestion ask, QWidget* parent)
    : QDialog(parent), m_(m), model_(m.Settings, m.Process), ask_(std::move(ask)) {
  setObjectName("TfrmOptions");
  model_.Load();
  texts_.Load(DataFolder(EnglishLanguageFile, m_.Process), m_.Settings.LangFile);
  RefreshInventoryReadings(m_.Pass);
  setWindowTitle(Q("Kelvara - " + texts_.Get("OptionsTitle")));

  pages_ = new QListWidget(this);
  pages_->setObjectName("pages");
  stack_ = new QStackedWidget(this);
  for (const tOptionPage& page : OptionPages()) {
    if ((page.debugOnly && !debug) || (page.expertOnly && !expert)) continue;
    stackIndex_[page.number] = stack_->addWidget(BuildPage(page.number));
    auto* item = new QListWidgetItem(Q(texts_.PageTitle(page)), pages_);
    item->setData(Qt::UserRole, page.number);
  }
  pages_->setFixedWidth(pages_->sizeHintForColumn(0) + 12);
  connect(pages_, &QListWidget::currentRowChanged, stack_, &QStackedWidget::setCurrentIndex);

  message_ = new QLabel(this);
  message_->setObjectName("message");
  message_->setStyleSheet("color: #b00000;");
  message_->setWordWrap(true);

  auto* buttons = new QDialogButtonBox(
      QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
  buttons->setObjectName("buttons");
  connect(buttons, &QDialogButtonBox::accepted, this, &OptionsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &OptionsDialog::reject);
  connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, this, [this] { Apply(); });
  // Qt's own button texts stay English without its translations; the language file has them.
  buttons->button(QDialogButtonBox::Ok)->setText(Q(texts_.Get("ButtonOK")));
  buttons->button(QDialogButtonBox::Cancel)->setText(Q(texts_.Get("ButtonCancel")));
  buttons->button(QDialogButtonBox::Apply)->setText(Q(texts_.Get("ButtonApply")));

  auto* body = new QHBoxLayout;
  body->addWidget(pages_);
  body->addWidget(stack_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(body, 1);
  layout->addWidget(message_);
  layout->addWidget(buttons);
  FitInto(screen() ? screen()->availableGeometry() : QRect(0, 0, 1024, 768));

  if (!ask_)
    ask_ = [this](const std::string& question, const std::string& files) {
      return QMessageBox::question(this, windowTitle(), Q(texts_.Get(question) + "\n" + files)) == QMessageBox::Yes;
    };
}

void OptionsDialog::FitInto(const QRect& available) {
  // The pages scroll, so the dialog may be smaller than the tallest of them; room is left for
  // the window manager's frame, so the buttons stay on the screen.
  const QSize room = available.size() - FrameAllowance;
  resize(QSize(900, 640).boundedTo(room).expandedTo(minimumSizeHint()));
}

std::string OptionsDialog::Caption(const tOptionRow& row) const {
  // A key name used in two sections ("Path") has its caption under "Section.Key".
  const std::string qualified = std::string(row.section) + "." + row.caption;
  std::string caption = texts_.Has(qualified) ? texts_.Get(qualified) : texts_.Get(row.caption);
  if (row.kind == tOptionKind::Limit || row.kind == tOptionKind::Margin) {
    const std::string unit = LimitUnit(row, m_.Settings.Celsius);
    if (!unit.empty()) caption += " (" + unit + ")";
  }
  return caption;
}

QLabel* OptionsDialog::CaptionLabel(const tOptionRow& row) {
  auto* label = new QLabel(Q(Caption(row)));
  label->setWordWrap(row.channel > 0);  // a column head over a narrow field
  if (row.quantity == tAlertQuantity::Temperature && (row.kind == tOptionKind::Limit || row.kind == tOptionKind::Margin))
    temperatureLabels_.emplace_back(&row, label);
  return label;
}

void OptionsDialog::ShowTemperatureUnit(bool celsius) {
  // Temperature limits are stored in hundredths of a degree Celsius whatever the unit: only
  // their text and captions follow the switch.
  m_.Settings.Celsius = celsius;
  for (const auto& [row, label] : temperatureLabels_) label->setText(Q(Caption(*row)));
  for (const auto& [row, editor] : editors_)
    if (row->quantity == tAlertQuantity::Temperature &&
        (row->kind == tOptionKind::Limit || row->kind == tOptionKind::Margin))
      Revert(*row, editor);
}

QWidget* OptionsDialog::Editor(const tOptionRow& row) {
  const QString id = Q(std::string(row.file) + "/" + row.section + "/" + row.key);
  const std::string value = model_.Display(row);
  QWidget* shown = nullptr;
  QWidget* editor = nullptr;
  switch (row.kind) {
    case tOptionKind::Bool:
    case tOptionKind::Autostart: {
      auto* box = new QCheckBox;
      box->setChecked(value == "1");
      connect(box, &QCheckBox::toggled, this, [this, &row, box] { Commit(row, box); });
      shown = editor = box;
      break;
    }
    case tOptionKind::Choice:
    case tOptionKind::Language: {
      auto* combo = new QComboBox;
      if (row.kind == tOptionKind::Choice) {
        for (const tOptionChoice& c : row.choices)
          combo->addItem(Q(texts_.Get(c.text)), QString::number(c.value));
      } else {
        for (const QString& f : QDir(Q(DataFolder(EnglishLanguageFile, m_.Process))).entryList({"*.lng"}, QDir::Files, QDir::Name))
          combo->addItem(f, f);
      }
      const int at = combo->findData(Q(value));
      if (at < 0) combo->addItem(Q(value), Q(value));  // a value no entry names stays as it is
      combo->setCurrentIndex(combo->findData(Q(value)));
      connect(combo, &QComboBox::activated, this, [this, &row, combo] { Commit(row, combo); });
      shown = editor = combo;
      break;
    }
    default: {
      auto* line = new QLineEdit(Q(value));
      if (row.kind == tOptionKind::Password) line->setEchoMode(QLineEdit::Password);
      // Left empty, as packaged installs are, the monitor asks no server at all.
      if (row.key == "UpdateServer") line->setPlaceholderText(Q(texts_.Get("UpdateServerEmpty")));
      // Eight columns of limits share the page's width.
      if (row.kind == tOptionKind::Limit || row.kind == tOptionKind::Margin) line->setMaximumWidth(90);
      connect(line, &QLineEdit::editingFinished, this, [this, &row, line] { Commit(row, line); });
      editor = line;
      shown = line;
      const bool folder = row.kind == tOptionKind::Folder || row.kind == tOptionKind::SearchedFolder;
      if (row.kind == tOptionKind::Colour || folder) {
        auto* box = new QWidget;
        auto* h = new QHBoxLayout(box);
        h->setContentsMargins(0, 0, 0, 0);
        h->addWidget(line, 1);
        auto* pick = new QToolButton;
        pick->setObjectName(id + "#pick");
        h->addWidget(pick);
        if (row.kind == tOptionKind::Colour) {
          line->setMaximumWidth(90);
          PaintSwatch(pick, value);
          connect(line, &QLineEdit::textChanged, pick,
                  [pick](const QString& t) { PaintSwatch(pick, t.toStdString()); });
          connect(pick, &QToolButton::clicked, this, [this, &row, line] {
            const long bgr = ParseColourText(line->text().toStdString());
            const QColor c = QColorDialog::getColor(QColor(Q(ColourText(bgr < 0 ? 0 : bgr))), this);
            if (!c.isValid()) return;
            line->setText(c.name().toUpper());
            Commit(row, line);
          });
        } else {
          pick->setText("...");
          pick->setToolTip(Q(texts_.Get("SelectDirectory")));
          connect(pick, &QToolButton::clicked, this, [this, &row, line] {
            const QString dir = QFileDialog::getExistingDirectory(this, Q(texts_.Get("SelectDirectory")), line->text());
            if (dir.isEmpty()) return;
            line->setText(dir);
            Commit(row, line);
          });
        }
        shown = box;
      }
      if (row.fileOnly) {
        // The order map entry: any sensor this machine has, or a name typed in.
        auto* combo = new QComboBox;
        combo->setEditable(true);
        combo->addItem(QString());
        int discovered = 0;
        for (const tInventoryItem& item : SensorInventory(m_.Settings, m_.Current, row.page)) {
          if (item.group != "hwmon" && item.group != "udisks2") continue;
          combo->addItem(Q(item.name));
          // With no order set, the sensors fill the channels in this order: show which one
          // feeds this channel, greyed, so an empty field does not read as "nothing".
          if (++discovered == row.channel && !OrderMapSet(m_.Settings)) line->setPlaceholderText(Q(item.name));
        }
        combo->setLineEdit(line);
        combo->setMinimumWidth(180);
        line->setText(Q(value));
        shown = combo;
      }
    }
  }
  editor->setObjectName(id);
  editors_[&row] = editor;
  return shown;
}

QWidget* OptionsDialog::BuildPage(int number) {
  auto* page = new QWidget;
  auto* v = new QVBoxLayout(page);
  const std::vector<const tOptionRow*> rows = RowsOfPage(number);

  // Channel rows as grids: one line per channel, one column per key family. The alerts page
  // has one grid per kind of channel (temperatures, voltages, fans, disk slots), each line
  // named after its channel, since channel 3 of one kind has nothing to do with 3 of another.
  const auto tableOf = [number](const tOptionRow& r) -> char {
    if (r.channel > 0 && std::string(r.section) == "GPU") return 'G';  // GPU slots are not CPU channels
    if (number != 11) return ' ';
    if (std::string(r.section) == "Disk") return 'D';
    const size_t digits = r.key.find_first_of("0123456789");
    return digits == std::string::npos || digits == 0 ? ' ' : r.key[digits - 1];
  };
  const auto channelName = [this](char table, int ch) -> std::string {
    const tSettings& s = m_.Settings;
    const size_t i = static_cast<size_t>(ch - 1);
    switch (table) {
      case 'T': return i < s.TCfg.size() ? s.TCfg[i].Name : std::string();
      case 'V': return i < s.VCfg.size() ? s.VCfg[i].Name : std::string();
      case 'F': return i < s.FCfg.size() ? s.FCfg[i].Name : std::string();
      case 'D': {
        const std::string drive = i < s.DiskSlots.size() ? s.DiskSlots[i].Drive : std::string();
        return std::to_string(ch) + (drive.empty() ? "" : " " + drive);
      }
      case 'G': return "GPU" + std::to_string(ch);
      default: return std::to_string(ch);
    }
  };
  const auto tableTitle = [this](char table) -> std::string {
    if (table == 'G') return texts_.Get("visGPU");
    const int kindPage = table == 'T' ? 4 : table == 'V' ? 5 : table == 'F' ? 6 : table == 'D' ? 9 : 0;
    for (const tOptionPage& p : OptionPages())
      if (p.number == kindPage) return texts_.PageTitle(p);
    return texts_.Get("Channels");
  };
  std::vector<char> tables;
  for (const tOptionRow* r : rows)
    if (r->channel > 0 && std::find(tables.begin(), tables.end(), tableOf(*r)) == tables.end())
      tables.push_back(tableOf(*r));
  for (const char table : tables) {
    std::vector<std::string> columns;
    int channels = 0;
    for (const tOptionRow* r : rows)
      if (r->channel > 0 && tableOf(*r) == table) {
        channels = std::max(channels, r->channel);
        if (std::find(columns.begin(), columns.end(), r->caption) == columns.end()) columns.push_back(r->caption);
      }
    auto* group = new QGroupBox(Q(tableTitle(table)));
    auto* grid = new QGridLayout(group);
    const bool values = number >= 4 && number <= 7 && table != 'G';
    for (const tOptionRow* r : rows)
      if (r->channel == 1 && tableOf(*r) == table) {
        const auto at = std::find(columns.begin(), columns.end(), r->caption) - columns.begin();
        grid->addWidget(CaptionLabel(*r), 0, static_cast<int>(at) + 1);
      }
    if (values) grid->addWidget(new QLabel(Q(texts_.Get("CurrentValue"))), 0, static_cast<int>(columns.size()) + 1);
    for (int ch = 1; ch <= channels; ++ch) grid->addWidget(new QLabel(Q(channelName(table, ch))), ch, 0);
    for (const tOptionRow* r : rows) {
      if (r->channel == 0 || tableOf(*r) != table) continue;
      const int col = static_cast<int>(std::find(columns.begin(), columns.end(), r->caption) - columns.begin()) + 1;
      grid->addWidget(Editor(*r), r->channel, col);
    }
    if (values)
      for (int ch = 1; ch <= channels; ++ch) {
        auto* label = new QLabel(Q(ChannelValueText(m_.Current, number, ch)));
        label->setObjectName(QString("value%1").arg(ch));
        grid->addWidget(label, ch, static_cast<int>(columns.size()) + 1);
      }
    v->addWidget(group);
  }

  auto* form = new QFormLayout;
  for (const tOptionRow* r : rows) {
    if (r->channel != 0) continue;
    form->addRow(CaptionLabel(*r), Editor(*r));
    if (r->key == "MailTo" && std::string(r->file) == ServerIniName) form->addRow(QString(), MailTestRow());
  }
  v->addLayout(form);

  const std::vector<tInventoryItem> found = SensorInventory(m_.Settings, m_.Current, number);
  if (number == 4 || number == 5 || number == 6 || number == 8 || number == 9) {
    auto* tree = new QTreeWidget;
    tree->setObjectName("inventory");
    tree->setRootIsDecorated(false);
    tree->setHeaderLabels({Q(texts_.Get("Source")), Q(texts_.Get("Sensor")), Q(texts_.Get("CurrentValue"))});
    for (const tInventoryItem& item : found)
      new QTreeWidgetItem(tree, {Q(item.group), Q(item.name), Q(item.value)});
    tree->resizeColumnToContents(1);
    tree->setMinimumHeight(120);
    auto* group = new QGroupBox(Q(texts_.Get("FoundOnThisMachine")));
    auto* g = new QVBoxLayout(group);
    g->addWidget(tree);
    v->addWidget(group);
  }
  v->addStretch(1);

  auto* scroll = new QScrollArea;
  scroll->setWidgetResizable(true);
  scroll->setWidget(page);
  scroll->setObjectName(QString("page%1").arg(number));
  return scroll;
}

QWidget* OptionsDialog::MailTestRow() {
  auto* box = new QWidget;
  auto* v = new QVBoxLayout(box);
  v->setContentsMargins(0, 0, 0, 0);
  auto* button = new QPushButton(Q(texts_.Get("Test")));
  button->setObjectName("mailTest");
  auto* result = new QLabel;  // a server's reason can be long: it wraps below the button
  result->setObjectName("mailTestResult");
  result->setWordWrap(true);
  result->setTextInteractionFlags(Qt::TextSelectableByMouse);
  v->addWidget(button, 0, Qt::AlignLeft);
  v->addWidget(result);
  v->addStretch(1);
  connect(button, &QPushButton::clicked, this, [this, button, result] { SendTestMail(button, result); });
  return box;
}

void OptionsDialog::SendTestMail(QPushButton* button, QLabel* result) {
  // The account as typed: a field still being edited is taken first, nothing is saved.
  for (const auto& [row, editor] : editors_)
    if (std::string(row->file) == ServerIniName && std::string(row->section) == "SMTP" &&
        qobject_cast<QLineEdit*>(editor) && !Commit(*row, editor))
      return;
  const tMailAccount account = model_.MailAccountOfFields();
  if (const std::string problem = MailAccountProblem(account); !problem.empty()) {
    result->setText(Q(texts_.Get(problem)));
    return;
  }
  result->setText(Q(texts_.Get("SendingMail")));
  button->setEnabled(false);
  const std::string mail =
      ComposeMail(account, TestMailMessage(m_.Time.UtcNow(), m_.Settings.TimeInUTC), m_.Time.UtcMs() / 1000);
  const std::string sent = texts_.Get("SentMailSuccessfully"), failed = texts_.Get("MailFailed");
  mailer_.Send(account, mail, [button, result, sent, failed](const std::string& error) {
    // Dropped with the label when the window is gone first.
    QMetaObject::invokeMethod(
        result,
        [button, result, text = error.empty() ? sent : failed + " (\"" + error + "\")"] {
          result->setText(Q(text));
          button->setEnabled(true);
        },
        Qt::QueuedConnection);
  });
}

bool OptionsDialog::ShowPage(int number) {
  const auto it = stackIndex_.find(number);
  if (it == stackIndex_.end()) return false;
  pages_->setCurrentRow(it->second);
  stack_->setCurrentIndex(it->second);
  return true;
}

int OptionsDialog::CurrentPage() const {
  for (const auto& [number, index] : stackIndex_)
    if (index == stack_->currentIndex()) return number;
  return 0;
}

void OptionsDialog::ShowMessage(const std::string& key) { message_->setText(key.empty() ? QString() : Q(texts_.Get(key))); }

QString OptionsDialog::Message() const { return message_->text(); }

void OptionsDialog::Revert(const tOptionRow& row, QWidget* editor) {
  const QString value = Q(model_.Display(row));
  QSignalBlocker block(editor);
  if (auto* line = qobject_cast<QLineEdit*>(editor)) line->setText(value);
  if (auto* box = qobject_cast<QCheckBox*>(editor)) box->setChecked(value == "1");
  if (auto* combo = qobject_cast<QComboBox*>(editor)) combo->setCurrentIndex(combo->findData(value));
}

bool OptionsDialog::Commit(const tOptionRow& row, QWidget* editor) {
  std::string text;
  if (auto* line = qobject_cast<QLineEdit*>(editor)) text = line->text().toStdString();
  if (auto* box = qobject_cast<QCheckBox*>(editor)) text = box->isChecked() ? "1" : "0";
  if (auto* combo = qobject_cast<QComboBox*>(editor)) text = combo->currentData().toString().toStdString();
  const std::string problem = model_.Set(row, text);
  ShowMessage(problem);
  if (!problem.empty()) {
    Revert(row, editor);
    return false;
  }
  if (row.kind != tOptionKind::Password && qobject_cast<QLineEdit*>(editor)) Revert(row, editor);  // the stored form
  if (row.key == "Celsius" && std::string(row.file) == DisplayIniName) ShowTemperatureUnit(text == "1");
  return true;
}

bool OptionsDialog::Apply() {
  for (const auto& [row, editor] : editors_)
    if (qobject_cast<QLineEdit*>(editor) && !Commit(*row, editor)) {
      ShowPage(row->page);
      editor->setFocus();
      return false;
    }
  const tSaveResult saved = model_.Save(ask_);
  // A login entry left as it was shows so.
  for (const auto& [row, editor] : editors_)
    if (row->kind == tOptionKind::Autostart) Revert(*row, editor);
  switch (saved) {
    case tSaveResult::Saved:
    case tSaveResult::NothingChanged:
      ShowMessage("");
      return true;
    case tSaveResult::Declined:
      return false;
    case tSaveResult::Failed:
      ShowMessage("ProblemWhileSaving");
      return false;
  }
  return false;
}

void OptionsDialog::accept() {
  if (Apply()) QDialog::accept();
}

int RunOptions(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  char* end = nullptr;
  const long page = args.empty() ? 0 : std::strtol(args[0].c_str(), &end, 10);
  if (args.empty() || args.size() > 3 || *end != '\0' || !FindOptionPage(static_cast<int>(page)) ||
      (args.size() > 1 && args[1] != "D" && args[1] != "-") || (args.size() > 2 && args[2] != "E" && args[2] != "-")) {
    std::fputs(ProgramUsage(tProgram::Options).c_str(), stderr);
    return 2;
  }
  const bool debug = args.size() > 1 && args[1] == "D";
  const bool expert = args.size() > 2 && args[2] == "E";
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
      qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    std::fprintf(stderr, "kvoptions: no display to show the options on\n");
    return 1;
  }
  QApplication app(argc, argv);
  ForbidCoreDumps();  // the passwords stand unscrambled in the fields
  tMonitor m;
  m.Process.AppDir = ProgramFolder();
  const tSettingsFolderChoice folder = ChooseSettingsDir(m.Process.AppDir, UserDataFolder(), true);
  if (!folder.problem.empty()) {
    std::fprintf(stderr, "kvoptions: %s\n", folder.problem.c_str());
    return 1;
  }
  m.Process.SettingsDir = folder.dir;
  OptionsDialog dialog(m, debug, expert);
  // A page hidden without its flag opens the dialog on its first page.
  if (!dialog.ShowPage(static_cast<int>(page))) dialog.ShowPage(dialog.HasPage(1) ? 1 : 14);
  dialog.show();
  dialog.exec();
  return 0;
}

}  // namespace kv
