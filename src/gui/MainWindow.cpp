#include "gui/MainWindow.h"

#include <malloc.h>

#include <QActionGroup>
#include <QCloseEvent>
#include <QCursor>
#include <QFileDialog>
#include <QGuiApplication>
#include <QImageReader>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QWindow>

#include "app/MainCycle.h"
#include "core/DateTime.h"
#include "core/EventLog.h"
#include "core/Process.h"
#include "core/PublishingPort.h"
#include "core/TransferProgress.h"
#include "displays/ImageSaving.h"
#include "gui/DisplayWindows.h"
#include "gui/MainMenus.h"
#include "gui/Splash.h"
#include "gui/StatusPanel.h"
#include "gui/WebLinks.h"
#include "gui/WindowPlacement.h"
#include "platform/DataFiles.h"
#include "platform/Files.h"
#include "settings/IniFile.h"
#include "settings/Language.h"
#include "settings/Settings.h"
#include "statistics/StatStore.h"
#include "system/Helpers.h"

namespace kv {

// imgStats: shows the chart picture and hands its mouse events to the window.
class TChartImage final : public QWidget {
 public:
  explicit TChartImage(TfrmKelvaraMain& owner) : owner_(owner) {
    setCursor(Qt::CrossCursor);
    setMouseTracking(true);
  }
  QImage image;

  void Show() {
    setFixedSize(image.size());
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    if (image.isNull()) return;
    QPainter p(this);
    p.drawImage(0, 0, image);
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    owner_.ChartMouseMove(e->position().toPoint().x(), e->position().toPoint().y());
  }
  void mouseDoubleClickEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton)
      owner_.ChartDoubleClick(e->position().toPoint().x(), e->position().toPoint().y());
  }
  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() == Qt::RightButton) owner_.PopupTrayMenu(e->globalPosition().toPoint());
  }

 private:
  TfrmKelvaraMain& owner_;
};

namespace {

constexpr int StartClientWidth = 550, StartClientHeight = 108;

// The tray and window icons: slot 0 upload on, 1 upload off, 2 uploading.
const char* const SlotIconFiles[] = {"upload-on.png", "upload-off.png", "uploading.png"};

QIcon IconFile(const std::string& name) {
  const std::string path = DataFile(name);
  if (!FileExists(path)) return {};
  // Read as what it is: a QIcon made from the file name would have Qt load every image
  // plugin to ask whether it knows the format.
  QImageReader reader(QString::fromStdString(path), "png");
  reader.setAutoDetectImageFormat(false);
  const QSize size = reader.size();
  if (!size.isValid() || size.width() > 256 || size.height() > 256) return {};
  QImage image;
  if (!reader.read(&image)) return {};
  return QIcon(QPixmap::fromImage(image));
}

bool DefaultQuestion(QWidget* parent, const std::string& text, const std::string& caption) {
  return QMessageBox::question(parent, QString::fromStdString(caption), QString::fromStdString(text),
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

// "PNG images (*.png)|*.png|GIF images (*.gif)|*.gif" -> Qt's "a;;b" form.
QString DialogFilter(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
  QStringList names;
  for (int i = 0; i + 1 < parts.size(); i += 2) names << parts[i];
  return names.join(QStringLiteral(";;"));
}

}  // namespace

TfrmKelvaraMain::TfrmKelvaraMain(TMainCycle& cycle, bool trayAvailable)
    : cycle_(cycle), trayAvailable_(trayAvailable) {
  setWindowTitle(QString::fromLatin1(ProductName));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  QFont font = this->font();
  font.setPixelSize(11);
  setFont(font);

  Question = [this](const std::string& text, const std::string& caption) {
    return DefaultQuestion(isVisible() ? this : nullptr, text, caption);
  };
  OpenLink = OpenInBrowser;
  TrimMemory = [] { malloc_trim(0); };
  ShowSplash = [] {
    LogEvent("Showing splash screen");
    TfrmInfo splash;
    splash.ShowModal();
  };
  AskSaveName = [this](const std::string& title, const std::string& proposed) -> std::pair<std::string, int> {
    QFileDialog dialog(this, QString::fromStdString(title), QString(), DialogFilter(Captions().SaveFilter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.selectFile(QString::fromStdString(proposed));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {"", 0};
    const int filter = dialog.nameFilters().indexOf(dialog.selectedNameFilter()) + 1;
    return {dialog.selectedFiles().front().toStdString(), filter > 0 ? filter : 1};
  };

  auto* client = new QWidget(this);
  auto* layout = new QVBoxLayout(client);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  scrollBox_ = new QScrollArea(client);
  scrollBox_->setFrameShape(QFrame::NoFrame);
  scrollBox_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scrollBox_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  scrollBox_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  scrollBox_->setMinimumSize(0, 0);  // as short as the chart, however short that is
  chart_ = new TChartImage(*this);
  scrollBox_->setWidget(chart_);
  scrollBox_->viewport()->installEventFilter(this);
  status_ = new TStatusBar(client);
  layout->addWidget(scrollBox_, 1);
  layout->addWidget(status_, 0);
  setCentralWidget(client);

  BuildMenus();
  BuildTray();
  ApplyCaptions();
  // Uploading now needs the upload service; without one the entry has no function.
  Entry("mnuUpload")->setEnabled(false);
  SetTrayIconSlot(Settings.AutoConnect ? 0 : 1);
  UpdateCaption();
  resize(StartClientWidth, StartClientHeight + menuBar()->sizeHint().height());

  SetTransferProgressNotifier([status = status_] { status->ProgressChanged(); });
  connect(&cycle_, &TMainCycle::DisplaysDue, this, &TfrmKelvaraMain::RefreshChart);
  connect(&cycle_, &TMainCycle::ShuttingDown, this, [this] {
    hide();
    if (ShowSplash) ShowSplash();
    if (tray_) tray_->hide();
  });
  // Connected after the chart and the splash: a refresh draws the chart, then the light and the
  // banner; the shut-down shows the splash before the display windows close.
  displays_ = std::make_unique<TDisplayWindows>(cycle_);
}

TfrmKelvaraMain::~TfrmKelvaraMain() { SetTransferProgressNotifier(nullptr); }

void TfrmKelvaraMain::BuildMenus() {
  menus_["tray"] = trayMenu_ = new QMenu(this);
  auto* views = new QActionGroup(this);
  views->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  for (const tMenuEntry& e : MenuEntries()) {
    const std::string parent = e.parent;
    QMenu* into = parent.empty() ? nullptr : menus_.at(parent);
    if (std::string(e.name) == "-") {
      into->addSeparator();
      continue;
    }
    QAction* action = nullptr;
    if (e.flags & mfSubmenu) {
      auto* menu = new QMenu(this);
      menus_[e.name] = menu;
      action = menu->menuAction();
      const std::string name = e.name;
      connect(menu, &QMenu::aboutToShow, this, [this, name] { AboutToShow(name); });
      if (into) into->addMenu(menu);
      else menuBar()->addMenu(menu);
    } else {
      action = new QAction(this);
      if (into) into->addAction(action);
      else menuBar()->addAction(action);
      const std::string name = e.name;
      connect(action, &QAction::triggered, this, [this, name] { Choose(name); });
    }
    action->setObjectName(QString::fromLatin1(e.name));
    if (e.icon >= 0) action->setIcon(IconFile("menu" + std::to_string(e.icon) + ".png"));
    action->setEnabled(!(e.flags & mfDisabled));
    action->setCheckable(e.flags & mfCheckable);
    action->setChecked(e.flags & mfChecked);
    if (e.flags & mfRadio) views->addAction(action);
    if ((e.flags & mfDefault) && into) {
      into->setDefaultAction(action);
    } else if (e.flags & mfDefault) {
      QFont bold = action->font();
      bold.setBold(true);
      action->setFont(bold);
    }
    entries_[e.name] = action;
  }
}

void TfrmKelvaraMain::BuildTray() {
  if (!trayAvailable_) return;
  tray_ = new QSystemTrayIcon(this);
  connect(tray_, &QSystemTrayIcon::activated, this, &TfrmKelvaraMain::TrayActivated);
  SetTrayTip(ProductName);
}

void TfrmKelvaraMain::SetUploadNow(std::function<void()> work) {
  UploadNow = std::move(work);
  Entry("mnuUpload")->setEnabled(static_cast<bool>(UploadNow));
}

QAction* TfrmKelvaraMain::Entry(const std::string& name) const {
  const auto it = entries_.find(name);
  return it == entries_.end() ? nullptr : it->second;
}

QMenu* TfrmKelvaraMain::SubMenu(const std::string& name) const {
  const auto it = menus_.find(name);
  return it == menus_.end() ? nullptr : it->second;
}

const QImage& TfrmKelvaraMain::ChartImage() const { return chart_->image; }

void TfrmKelvaraMain::ApplyCaptions() {
  const tCaptions& captions = Captions();
  for (const auto& [name, action] : entries_) {
    std::string caption = captions.Caption(name);
    if (caption.empty()) caption = name;
    // The site entries show the address until a language names them.
    if ((name == "mnuKelvara" || name == "mnuKelvara1") && caption == name) caption = WebAddresses.site;
    action->setText(QString::fromStdString(caption));
  }
  UpdateCaption();
}

void TfrmKelvaraMain::UpdateCaption() {
  const auto texts = Texts();
  std::string caption = ProductName;
  if (Entry("mnuStats24")->isChecked()) caption += " - " + texts->Stats24;
  else if (Entry("mnuStats7")->isChecked()) caption += " - " + texts->Stats7;
  if (!Settings.AutoConnect) caption += " - " + texts->UploadInactive;
  setWindowTitle(QString::fromStdString(caption));
}

void TfrmKelvaraMain::ShowStatus(const std::string& text) {
  status_->SetText("[" + LongTimeText(LocalNow()) + "] " + text);
}

QIcon TfrmKelvaraMain::SlotIcon(int slot) const {
  if (slot < 0 || slot > 2) return {};
  return IconFile(SlotIconFiles[slot]);
}

void TfrmKelvaraMain::SetTrayIconSlot(int slot) {
  iconSlot_ = slot;
  const QIcon icon = SlotIcon(slot);
  setWindowIcon(icon);
  if (tray_) tray_->setIcon(icon);
}

void TfrmKelvaraMain::SetTrayTip(const std::string& tip) {
  trayTip_ = QString::fromStdString(tip).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  if (tray_) tray_->setToolTip(trayTip_);
}

void TfrmKelvaraMain::ShowInstance() { ShowAndRaise(); }

bool TfrmKelvaraMain::CanPlaceWindows() {
  return ClientsPlaceWindows();
}

void TfrmKelvaraMain::StartUp() {
  if (const QScreen* screen = this->screen()) {
    const QPoint at = StartPosition(Settings.Left, Settings.Top, size(), screen->availableGeometry(),
                                    screen->virtualGeometry());
    placing_ = true;
    move(at);
    placing_ = false;
    Settings.Left = at.x();
    Settings.Top = at.y();
  }
  if (Settings.OnTop) setWindowFlag(Qt::WindowStaysOnTopHint, true);
  if (trayAvailable_) {
    LogEvent("Tray available: the window hides to the tray");
    tray_->show();
  } else {
    LogEvent("No tray available: the window stays on the desktop");
  }
  if (!CanPlaceWindows()) LogEvent("Window positions are the compositor's: no edge snapping");
  // Without a tray a hidden window could never be found again.
  if (!Settings.Mini || !trayAvailable_) ShowAndRaise();
}

void TfrmKelvaraMain::HideToTray() {
  if (!trayAvailable_) {
    showMinimized();
    return;
  }
  hide();
  if (Settings.KeepMemoryLow && TrimMemory) TrimMemory();
}

void TfrmKelvaraMain::ShowAndRaise() {
  if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
}

void TfrmKelvaraMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!event->spontaneous()) cycle_.RefreshDisplays();
}

void TfrmKelvaraMain::hideEvent(QHideEvent* event) {
  QMainWindow::hideEvent(event);
  if (event->spontaneous()) return;  // minimised by the window manager: still ours to show
  SaveWindowState();
  try {
    chart_->image = QImage();  // the bitmap is drawn anew when the window shows again
    chart_->Show();
  } catch (const std::exception& e) {
    LogError("ha ", e);
  }
}

void TfrmKelvaraMain::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && isMinimized() && trayAvailable_) {
    // Minimising hides to the tray; done after the state change has settled.
    QMetaObject::invokeMethod(this, [this] {
      setWindowState(windowState() & ~Qt::WindowMinimized);
      HideToTray();
    }, Qt::QueuedConnection);
  }
}

void TfrmKelvaraMain::closeEvent(QCloseEvent* event) {
  event->ignore();
  if (cycle_.ShutDownDone()) {
    event->accept();
    return;
  }
  if (Settings.HideOnClose && !exiting_ && trayAvailable_) {
    HideToTray();
    return;
  }
  // The cycle asks and shuts down; its signals hide the window and end the loop.
  cycle_.Close(true);
}

void TfrmKelvaraMain::Exit() {
  // Exit always proceeds, whatever HideOnClose says.
  exiting_ = true;
  QCloseEvent request;
  closeEvent(&request);
  exiting_ = false;
}

void TfrmKelvaraMain::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  if (placing_ || !isVisible()) return;
  const QRect frame = frameGeometry();
  Settings.Left = frame.x();
  Settings.Top = frame.y();
  if (!CanPlaceWindows() || !screen()) return;
  const QRect snapped = SnapToWorkArea(frame, screen()->availableGeometry());
  if (snapped == frame) return;
  placing_ = true;
  move(snapped.topLeft());
  if (snapped.size() != frame.size()) resize(snapped.size() - (frame.size() - size()));
  placing_ = false;
  Settings.Left = snapped.x();
  Settings.Top = snapped.y();
}

int TfrmKelvaraMain::ChromeHeight() const { return menuBar()->height() + status_->height(); }

void TfrmKelvaraMain::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  if (placing_ || chart_->image.isNull() || !event->oldSize().isValid()) return;
  const tWindowSize current{event->oldSize().width(), event->oldSize().height()};
  const tWindowSize proposed{event->size().width(), event->size().height()};
  const tWindowSize box{scrollBox_->width(), current.height - ChromeHeight()};
  const tWindowSize fit = CorrectResize(current, proposed, box, chart_->image.width(), chart_->image.height(),
                                        style()->pixelMetric(QStyle::PM_ScrollBarExtent));
  if (fit.width == width() && fit.height == height()) return;
  placing_ = true;
  setFixedWidth(fit.width);
  resize(fit.width, fit.height);
  placing_ = false;
}

void TfrmKelvaraMain::FitToChart(int oldChartHeight) {
  const QImage& image = chart_->image;
  const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  int newHeight = height();
  if (image.height() != oldChartHeight) newHeight = height() + image.height() - oldChartHeight;
  int workHeight = screen() ? screen()->availableGeometry().height() : newHeight;
  workHeight -= frameGeometry().height() - height();
  newHeight = std::min(newHeight, workHeight);
  // The box never stands taller than the chart; a shorter box shows its scroll bar.
  newHeight = std::min(newHeight, image.height() + ChromeHeight());
  const int newWidth = image.width() + (newHeight - ChromeHeight() < image.height() ? scrollBar : 0);
  if (newWidth == width() && newHeight == height()) return;
  placing_ = true;
  setFixedWidth(newWidth);
  resize(newWidth, newHeight);
  placing_ = false;
}

void TfrmKelvaraMain::RefreshChart() {
  // A reload of the options may have changed the language; unchanged captions cost nothing.
  ApplyCaptions();
  if (!isVisible()) return;
  setUpdatesEnabled(false);
  try {
    const int oldHeight = chart_->image.height();
    const int scrollPosition = scrollBox_->verticalScrollBar()->value();
    const tViewChoice view = view_.CurrentView(LocalNow());
    if (view.series) {
      if (const auto geometry = DrawStatistics(chart_->image, *view.series, view.endTime, view.hours))
        geometry_ = *geometry;
    }
    chart_->Show();
    UpdateCaption();
    if (!chart_->image.isNull()) FitToChart(oldHeight);
    scrollBox_->verticalScrollBar()->setValue(scrollPosition);
  } catch (const std::exception& e) {
    LogError("dis1 ", e);
  }
  setUpdatesEnabled(true);
}

void TfrmKelvaraMain::ChartMouseMove(int x, int y) {
  if (!Settings.DisplayHint) return;
  const auto section = SectionAt(geometry_, Settings.StatsWidth, x, y);
  if (!section) return;
  try {
    const tViewChoice view = view_.CurrentView(LocalNow());
    if (!view.series) return;
    const std::string text =
        ValuesText(*view.series, *section, HoverTime(geometry_, Settings.StatsWidth, x), geometry_);
    chart_->setToolTip(QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    if (!text.empty()) QToolTip::showText(QCursor::pos(), chart_->toolTip(), chart_);
  } catch (const std::exception& e) {
    LogError("ismm1 ", e);
  }
}

void TfrmKelvaraMain::ChartDoubleClick(int x, int y) {
  DoubleClickPage(geometry_, Settings.StatsWidth, x, y, [](int page) { StartOptionsProgram(page); });
}

bool TfrmKelvaraMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == scrollBox_->viewport() && event->type() == QEvent::Wheel) {
    const auto* wheel = static_cast<QWheelEvent*>(event);
    const int delta = wheel->angleDelta().y();
    if (delta != 0 && view_.Wheel(delta > 0)) {
      ViewChosen();
      return true;  // handled: the box does not scroll
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TfrmKelvaraMain::ViewChosen() {
  const auto checked = view_.Checked();
  Entry("mnuStats")->setChecked(checked == tStatsView::Basic);
  Entry("mnuStats24")->setChecked(checked == tStatsView::Day24);
  Entry("mnuStats7")->setChecked(checked == tStatsView::Week7);
  Entry("mnuStats31")->setChecked(false);
  Entry("mnuStats365")->setChecked(false);
  cycle_.RefreshDisplays();
  UpdateCaption();
}

void TfrmKelvaraMain::PopupTrayMenu(const QPoint& at) {
  Entry("mnuAutoUpload1")->setChecked(Settings.AutoConnect);
  Entry("mnuTimer")->setText(QString::fromStdString(Captions().POSuspendInactive));
  if (isVisible()) {
    raise();
    activateWindow();
  }
  trayMenu_->popup(at);
}

void TfrmKelvaraMain::AboutToShow(const std::string& name) {
  if (name == "mnuDisplay" || name == "mnuDisplay1") {
    for (const char* suffix : {"", "1"}) {
      Entry(std::string("mnuLight") + suffix)->setChecked(Settings.ShowLight);
      Entry(std::string("mnuBanner") + suffix)->setChecked(Settings.ShowBanner);
      Entry(std::string("mnuClickThrough") + suffix)->setChecked(Settings.ClickThrough);
    }
  } else if (name == "mnuOptions" || name == "mnuOptions1") {
    const std::string suffix = name == "mnuOptions" ? "" : "1";
    Entry("mnuAutoUpload" + suffix)->setChecked(Settings.AutoConnect);
    Entry("mnuExpert" + suffix)->setVisible(ExpertMode);
    Entry("mnuDebug" + suffix)->setVisible(DebugMode());
  }
}

void TfrmKelvaraMain::TrayActivated(QSystemTrayIcon::ActivationReason reason) {
  try {
    switch (reason) {
      case QSystemTrayIcon::Trigger:
        if (isVisible()) HideToTray();
        else ShowAndRaise();
        break;
      case QSystemTrayIcon::DoubleClick:
        ToggleAutoUpload();
        if (isVisible()) HideToTray();
        else ShowAndRaise();
        break;
      case QSystemTrayIcon::Context:
        PopupTrayMenu(QCursor::pos());
        break;
      default:
        break;
    }
  } catch (const std::exception&) {
    // Tray events never fail loudly.
  }
}

void TfrmKelvaraMain::ToggleAutoUpload() {
  const auto texts = Texts();
  if (Settings.AutoConnect && Question(texts->DisableAutoUpload, texts->DisableAutoUploadCaption)) {
    Settings.AutoConnect = false;
    SetTrayIconSlot(1);
    LogEvent("Upload/mailing disabled");
    UpdateCaption();
    return;
  }
  if (!(Settings.SaveLight && Settings.UploadLight) && !(Settings.SaveBanner && Settings.UploadBanner)) {
    LogEvent("No display marked for upload");
    ShowStatus(texts->NoDisplayMarked);
  }
  Settings.AutoConnect = true;
  SetTrayIconSlot(0);
  UpdateCaption();
}

void TfrmKelvaraMain::ToggleLight(bool light) {
  displays_->Toggle(light ? tDisplay::Light : tDisplay::Banner);
}

void TfrmKelvaraMain::ToggleClickThrough() { displays_->ToggleClickThrough(); }

void TfrmKelvaraMain::ResetStatisticsChosen() {
  if (!ResetStatistics()) return;
  // Nothing drawn from the old history may still be uploaded; fresh pictures come soon.
  ClearPendingImages();
  cycle_.StatisticsReset();
  cycle_.RefreshDisplays();
}

void TfrmKelvaraMain::SaveAs(bool light) {
  const auto texts = Texts();
  const auto [chosen, filter] = AskSaveName(light ? texts->SaveLightAs : texts->SaveBannerAs,
                                            ProposedSaveName(light ? Settings.Light : Settings.Banner));
  if (chosen.empty()) return;
  if (light) SaveLightAs(chosen, filter);
  else SaveBannerAs(chosen, filter);
}

void TfrmKelvaraMain::Choose(const std::string& entry) {
  const QAction* action = Entry(entry);
  if (action && !action->isEnabled()) return;  // the entries without a function
  const std::string name = TwinOf(entry);
  if (const int page = OptionsPage(name)) {
    StartOptionsProgram(page);
  } else if (name == "mnuSaveLightAs" || name == "mnuSaveBannerAs") {
    SaveAs(name == "mnuSaveLightAs");
  } else if (name == "mnuExit") {
    Exit();
  } else if (name == "mnuBack1Day") {
    view_.Back1Day(LocalNow());
    ViewChosen();
  } else if (name == "mnuForward1Day") {
    view_.Forward1Day(LocalNow());
    ViewChosen();
  } else if (name == "mnuStats" || name == "mnuStats24" || name == "mnuStats7") {
    view_.SelectView(name == "mnuStats" ? tStatsView::Basic
                     : name == "mnuStats24" ? tStatsView::Day24 : tStatsView::Week7);
    ViewChosen();
  } else if (name == "mnuSystemInfo") {
    StartSysInfoProgram();
  } else if (name == "mnuLight" || name == "mnuBanner") {
    ToggleLight(name == "mnuLight");
  } else if (name == "mnuClickThrough") {
    ToggleClickThrough();
  } else if (name == "mnuAutoUpload") {
    ToggleAutoUpload();
  } else if (name == "mnuCheckForUpdate") {
    cycle_.Publishing().UpdateCheck(true);
  } else if (name == "mnuResetStatistics") {
    ResetStatisticsChosen();
  } else if (name == "mnuUpload") {
    if (UploadNow) UploadNow();
  } else if (name == "mnuKelvara") {
    OpenLink(WebAddresses.site);
  } else if (name == "mnuKelvaraForum") {
    OpenLink(Settings.GermanTexts ? WebAddresses.forumGerman : WebAddresses.forumEnglish);
  } else if (name == "mnuKelvaraChat") {
    OpenLink(WebAddresses.chat);
  } else if (name == "mnuReportBug") {
    OpenLink(WebAddresses.bugMail);
  } else if (name == "mnuInfo") {
    if (ShowSplash) ShowSplash();
  }
}

}  // namespace kv
