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
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QWindow>

#include "app/MainCycle.h"
#include "app/Monitor.h"
#include "core/DateTime.h"
#include "core/EventLog.h"
#include "core/Process.h"
#include "core/PublishingPort.h"
#include "core/TransferProgress.h"
#include "displays/ImageSaving.h"
#include "gui/DisplayWindows.h"
#include "gui/MainMenus.h"
#include "gui/Splash.h"
#include "gui/StatusNotifier.h"
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
  QImage image;  // drawn over in place from tick to tick
  tTextCache texts;  // its texts, most of them the same from tick to tick

  // Repaints only the rows that changed since the last showing, none when no pixel did.
  void Show() {
    setFixedSize(image.size());
    if (const auto rows = TakeChangedRows(shown_, image)) update(0, rows->top, image.width(), rows->bottom - rows->top);
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    if (shown_.isNull()) return;
    QPainter p(this);
    p.drawImage(event->rect(), shown_, event->rect());
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    owner_.ChartMouseMove(e->position().toPoint().x(), e->position().toPoint().y());
  }
  // A double-click of any button opens the section's options page.
  void mouseDoubleClickEvent(QMouseEvent* e) override {
    owner_.ChartDoubleClick(e->position().toPoint().x(), e->position().toPoint().y());
  }
  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() == Qt::RightButton) owner_.PopupTrayMenu(e->globalPosition().toPoint());
  }

 private:
  TfrmKelvaraMain& owner_;
  QImage shown_;  // what the widget paints: the rows of `image` that Show took
};

namespace {

constexpr int StartClientWidth = 550, StartClientHeight = 108;

// The tray and window icons: slot 0 upload on, 1 upload off, 2 uploading.
const char* const SlotIconFiles[] = {"upload-on.png", "upload-off.png", "uploading.png"};

QIcon IconFile(const std::string& path) {
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

// "PNG images (*.png)|*.png|GIF images (*.gif)|*.gif" -> Qt's "a;;b" form.
QString DialogFilter(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
  QStringList names;
  for (int i = 0; i + 1 < parts.size(); i += 2) names << parts[i];
  return names.join(QStringLiteral(";;"));
}

}  // namespace

TfrmKelvaraMain::TfrmKelvaraMain(TMainCycle& cycle, bool trayAvailable, tWindowServices services)
    : cycle_(cycle), m_(cycle.Monitor()), trayAvailable_(trayAvailable), services_(std::move(services)) {
  setWindowTitle(QString::fromLatin1(ProductName));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  QFont font = this->font();
  font.setPixelSize(11);
  setFont(font);

  if (!services_.openLink) services_.openLink = OpenInBrowser;
  if (!services_.trayHost) services_.trayHost = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
  if (!services_.showSplash)
    services_.showSplash = [] {
      LogEvent("Showing splash screen");
      TfrmInfo splash;
      splash.ShowModal();
    };
  if (!services_.askSaveName)
    services_.askSaveName = [this](const std::string& title, const std::string& proposed) -> std::pair<std::string, int> {
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
  status_->installEventFilter(this);  // the wheel switches views over the status line too
  layout->addWidget(scrollBox_, 1);
  layout->addWidget(status_, 0);
  setCentralWidget(client);

  BuildMenus();
  BuildTray();
  ConnectActions();
  ApplyCaptions();
  // Uploading now needs the upload service; without one the entry has no function.
  Action(tMenuAction::Upload)->setEnabled(cycle_.CanUpload());
  SetTrayIconSlot(m_.Settings.AutoConnect ? 0 : 1);
  UpdateCaption();
  resize(StartClientWidth, StartClientHeight + menuBar()->sizeHint().height());

  SetTransferProgressNotifier([status = status_] { status->ProgressChanged(); });
  ConnectCycle();
  // Connected after the chart and the splash: a refresh draws the chart, then the light and the
  // banner; the shut-down shows the splash before the display windows close.
  displays_ = std::make_unique<TDisplayWindows>(cycle_);
}

TfrmKelvaraMain::~TfrmKelvaraMain() { SetTransferProgressNotifier(nullptr); }

void TfrmKelvaraMain::BuildMenus() {
  trayMenu_ = new QMenu(this);
  auto* views = new QActionGroup(this);
  views->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  for (const tMenuEntry& e : MenuEntries()) {
    QMenu* into = e.parent == tMenuAction::Bar    ? nullptr
                  : e.parent == tMenuAction::Tray ? trayMenu_
                                                  : Menu(e.parent);
    if (e.action == tMenuAction::None) {
      into->addSeparator();
      continue;
    }
    QAction* action = nullptr;
    if (e.flags & mfSubmenu) {
      auto* menu = new QMenu(this);
      menus_[static_cast<size_t>(e.action)] = menu;
      action = menu->menuAction();
      if (into) into->addMenu(menu);
      else menuBar()->addMenu(menu);
    } else {
      action = new QAction(this);
      if (into) into->addAction(action);
      else menuBar()->addAction(action);
    }
    action->setObjectName(QString::fromLatin1(e.name));
    if (e.icon >= 0) action->setIcon(IconFile(DataFile("menu" + std::to_string(e.icon) + ".png", m_.Process)));
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
    actions_[static_cast<size_t>(e.action)] = action;
  }
}

void TfrmKelvaraMain::ConnectActions() {
  using A = tMenuAction;
  // What each entry does; a tray twin does what its window entry does, and the entries without
  // a function stay disabled.
  const std::pair<A, std::function<void()>> work[] = {
      {A::SaveLightAs, [this] { SaveAs(true); }},
      {A::SaveBannerAs, [this] { SaveAs(false); }},
      {A::Exit, [this] { Exit(); }},
      {A::Back1Day, [this] { Back1Day(); }},
      {A::Forward1Day, [this] { Forward1Day(); }},
      {A::Stats, [this] { SelectView(tStatsView::Basic); }},
      {A::Stats24, [this] { SelectView(tStatsView::Day24); }},
      {A::Stats7, [this] { SelectView(tStatsView::Week7); }},
      {A::SystemInfo, [this] { emit SystemInfoChosen(); }},
      {A::Light, [this] { displays_->Toggle(tDisplay::Light); }},
      {A::Banner, [this] { displays_->Toggle(tDisplay::Banner); }},
      {A::ClickThrough, [this] { emit ClickThroughToggled(); }},
      {A::AutoUpload, [this] { emit AutoUploadToggled(); }},
      {A::CheckForUpdate, [this] { emit UpdateCheckChosen(); }},
      {A::ResetStatistics, [this] { emit StatisticsResetChosen(); }},
      {A::Upload, [this] { emit UploadChosen(); }},
      {A::Kelvara, [this] { services_.openLink(WebAddresses.site); }},
      {A::KelvaraForum,
       [this] { services_.openLink(m_.Settings.GermanTexts ? WebAddresses.forumGerman : WebAddresses.forumEnglish); }},
      {A::KelvaraChat, [this] { services_.openLink(WebAddresses.chat); }},
      {A::ReportBug, [this] { services_.openLink(WebAddresses.bugMail); }},
      {A::Info, [this] { ShowSplash(); }},
  };
  for (const tMenuEntry& e : MenuEntries()) {
    if (e.action == A::None || (e.flags & mfSubmenu)) continue;
    QAction* action = Action(e.action);
    const A own = TwinOf(e.action);
    if (const int page = OptionsPage(own)) {
      connect(action, &QAction::triggered, this, [this, page] { emit OptionsChosen(page); });
      continue;
    }
    for (const auto& [entry, fn] : work)
      if (entry == own) connect(action, &QAction::triggered, this, fn);
  }
  connect(Menu(A::Display), &QMenu::aboutToShow, this, &TfrmKelvaraMain::DisplayMenuShown);
  connect(Menu(A::Display1), &QMenu::aboutToShow, this, &TfrmKelvaraMain::DisplayMenuShown);
  connect(Menu(A::Options), &QMenu::aboutToShow, this, [this] { OptionsMenuShown(false); });
  connect(Menu(A::Options1), &QMenu::aboutToShow, this, [this] { OptionsMenuShown(true); });
}

void TfrmKelvaraMain::ConnectCycle() {
  connect(&cycle_, &TMainCycle::DisplaysDue, this, &TfrmKelvaraMain::RefreshChart);
  connect(&cycle_, &TMainCycle::AutoUploadChanged, this, &TfrmKelvaraMain::UpdateCaption);
  connect(&cycle_, &TMainCycle::ShuttingDown, this, [this] {
    hide();
    ShowSplash();
    if (tray_) tray_->hide();
    // The tray going now is no reason to bring the window back.
    if (trayWatch_) trayWatch_->stop();
    if (notifier_) {
      notifier_->disconnect(this);
      notifier_->SetWanted(false);
    }
  });
  connect(this, &TfrmKelvaraMain::AutoUploadToggled, &cycle_, &TMainCycle::ToggleAutoUpload);
  connect(this, &TfrmKelvaraMain::StatisticsResetChosen, &cycle_, &TMainCycle::ResetStatistics);
  connect(this, &TfrmKelvaraMain::ClickThroughToggled, &cycle_, &TMainCycle::ToggleClickThrough);
  connect(this, &TfrmKelvaraMain::UploadChosen, &cycle_, &TMainCycle::UploadNow);
  connect(this, &TfrmKelvaraMain::UpdateCheckChosen, &cycle_, &TMainCycle::CheckForUpdateNow);
  connect(this, &TfrmKelvaraMain::OptionsChosen, &cycle_, &TMainCycle::OpenOptions);
  connect(this, &TfrmKelvaraMain::SystemInfoChosen, &cycle_, &TMainCycle::OpenSystemInfo);
  connect(this, &TfrmKelvaraMain::Moved, &cycle_, &TMainCycle::MainWindowMoved);
  connect(this, &TfrmKelvaraMain::HiddenToTray, &cycle_, &TMainCycle::MainWindowHidden);
  connect(this, &TfrmKelvaraMain::CloseRequested, &cycle_, &TMainCycle::Close);
}

void TfrmKelvaraMain::BuildTray() {
  if (!trayAvailable_) return;
  tray_ = new QSystemTrayIcon(this);
  connect(tray_, &QSystemTrayIcon::activated, this, &TfrmKelvaraMain::TrayActivated);
  SetTrayTip(ProductName);
}

const QImage& TfrmKelvaraMain::ChartImage() const { return chart_->image; }

void TfrmKelvaraMain::ApplyCaptions() {
  const tCaptions& captions = Captions();
  for (const tMenuEntry& e : MenuEntries()) {
    if (e.action == tMenuAction::None) continue;
    std::string caption = captions.Caption(e.name);
    if (caption.empty()) caption = e.name;
    // The site entries show the address until a language names them.
    if (TwinOf(e.action) == tMenuAction::Kelvara && caption == e.name) caption = WebAddresses.site;
    Action(e.action)->setText(QString::fromStdString(caption));
  }
  UpdateCaption();
}

void TfrmKelvaraMain::UpdateCaption() {
  const auto texts = Texts();
  std::string caption = ProductName;
  if (Action(tMenuAction::Stats24)->isChecked()) caption += " - " + texts->Stats24;
  else if (Action(tMenuAction::Stats7)->isChecked()) caption += " - " + texts->Stats7;
  if (!m_.Settings.AutoConnect) caption += " - " + texts->UploadInactive;
  setWindowTitle(QString::fromStdString(caption));
}

void TfrmKelvaraMain::ShowStatus(const std::string& text) {
  status_->SetText(std::string("[").append(LongTimeText(LocalTime())).append("] ").append(text));
}

QIcon TfrmKelvaraMain::SlotIcon(int slot) const {
  if (slot < 0 || slot > 2) return {};
  return IconFile(DataFile(SlotIconFiles[slot], m_.Process));
}

void TfrmKelvaraMain::SetTrayIconSlot(int slot) {
  iconSlot_ = slot;
  const QIcon icon = SlotIcon(slot);
  setWindowIcon(icon);
  if (tray_) tray_->setIcon(icon);
  if (notifier_) notifier_->SetIcon(icon);
}

void TfrmKelvaraMain::SetTrayTip(const std::string& tip) {
  trayTip_ = QString::fromStdString(tip).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  if (tray_) tray_->setToolTip(trayTip_);
  if (notifier_) notifier_->SetToolTip(trayTip_);
}

void TfrmKelvaraMain::ShowInstance() { ShowAndRaise(); }

void TfrmKelvaraMain::ShowSplash() {
  if (services_.showSplash) services_.showSplash();
}

bool TfrmKelvaraMain::CanPlaceWindows() {
  return ClientsPlaceWindows();
}

void TfrmKelvaraMain::StartUp() {
  const tSettings& s = m_.Settings;
  // A stored position on a screen that is gone (a monitor unplugged) starts on the primary one.
  const QScreen* screen = QGuiApplication::screenAt(QPoint(s.Left, s.Top));
  if (!screen || s.Left == PositionUnset || s.Top == PositionUnset) screen = this->screen();
  if (screen) {
    const QRect work = screen->availableGeometry();
    const QPoint at = StartPosition(s.Left, s.Top, size(), work, work);
    placing_ = true;
    move(at);
    placing_ = false;
    emit Moved(at.x(), at.y());
  }
  // The window is placed again once the chart has given it its real height, and the window
  // manager's moves are corrected until 3 s after that first chart (FitToChart): on a busy
  // machine the frame comes late.
  settling_ = CanPlaceWindows();
  centred_ = s.Left == PositionUnset || s.Top == PositionUnset;
  if (!trayWatch_) {
    // A tray host that starts after us (login autostart races) still gets the icon.
    trayWatch_ = new QTimer(this);
    connect(trayWatch_, &QTimer::timeout, this, &TfrmKelvaraMain::FollowTrayHost);
    trayWatch_->start(2000);
    StartStatusNotifier();
  }
  if (m_.Settings.OnTop) setWindowFlag(Qt::WindowStaysOnTopHint, true);
  if (trayAvailable_) {
    LogEvent("Tray available: the window hides to the tray");
    tray_->show();
  } else {
    LogEvent("No tray available: the window stays on the desktop");
  }
  if (!CanPlaceWindows()) LogEvent("Window positions are the compositor's: no edge snapping");
  // Without a tray a hidden window could never be found again.
  if (!m_.Settings.Mini || !trayAvailable_) ShowAndRaise();
}

void TfrmKelvaraMain::StartStatusNotifier() {
  const QDBusConnection bus = services_.bus ? *services_.bus : QDBusConnection::sessionBus();
  // Where Qt's tray found a StatusNotifier host at its start, it talks to that host itself.
  if (trayAvailable_ && StatusNotifierHostRegistered(bus)) return;
  notifier_ = new TStatusNotifier(bus, this);
  notifier_->SetIcon(SlotIcon(iconSlot_));
  notifier_->SetToolTip(trayTip_);
  connect(notifier_, &TStatusNotifier::RegisteredChanged, this, &TfrmKelvaraMain::FollowTrayHost);
  connect(notifier_, &TStatusNotifier::Activated, this, [this] { TrayActivated(QSystemTrayIcon::Trigger); });
  connect(notifier_, &TStatusNotifier::MenuRequested, this, &TfrmKelvaraMain::PopupTrayMenu);
  notifier_->SetWanted(!trayAvailable_);
}

void TfrmKelvaraMain::FollowTrayHost() {
  const bool qtTray = services_.trayHost();
  // Qt's tray wins where it works (an XEmbed tray, a host it saw at its start): two icons of
  // one program would be one too many.
  if (notifier_) notifier_->SetWanted(!qtTray);
  const bool own = !qtTray && notifier_ && notifier_->Registered();
  TrayHostChanged(qtTray || own, own);
}

void TfrmKelvaraMain::TrayHostChanged(bool available, bool own) {
  if (available == trayAvailable_ && own == ownTray_) return;
  const bool arrived = available && !trayAvailable_;
  trayAvailable_ = available;
  ownTray_ = own;
  if (available) {
    if (own) {
      if (tray_) tray_->hide();
    } else {
      const QString tip = trayTip_;
      if (!tray_) BuildTray();
      SetTrayTip(tip.toStdString());
      SetTrayIconSlot(iconSlot_);
      tray_->show();
    }
    if (arrived) LogEvent(own ? "StatusNotifier host arrived: the window hides to the tray"
                              : "Tray host arrived: the window hides to the tray");
    return;
  }
  if (tray_) tray_->hide();
  LogEvent("Tray host gone: the window stays on the desktop");
  // Hidden in a tray that is no more, the window could never be found again.
  if (!isVisible() || isMinimized()) ShowAndRaise();
}

void TfrmKelvaraMain::KeepOnScreen(bool resend) {
  const QScreen* screen = QGuiApplication::screenAt(frameGeometry().center());
  if (!screen) screen = this->screen();
  if (!screen || !CanPlaceWindows()) return;
  const QRect work = screen->availableGeometry();
  // While settling, the server's frame, with the height this window now asks for.
  std::optional<QRect> outer = resend ? OuterFrameOnServer(*this) : std::nullopt;
  if (outer && frameExtraHeight_ >= 0) outer->setHeight(height() + frameExtraHeight_);
  const QRect frame = outer ? *outer : frameGeometry();
  QPoint at = InsideWorkArea(frame, work);
  if (centred_) at = QPoint(work.x() + std::max(0, (work.width() - frame.width()) / 2),
                            work.y() + std::max(0, (work.height() - frame.height()) / 2));
  if (at == frame.topLeft() && !resend) return;
  placing_ = true;
  // Resent even where we believe the window already is: a busy window manager may have moved
  // the frame after the position we last heard of.
  if (resend && windowHandle()) windowHandle()->setFramePosition(at);
  else move(at);
  placing_ = false;
  emit Moved(at.x(), at.y());
}

void TfrmKelvaraMain::HideToTray() {
  if (!trayAvailable_) {
    showMinimized();
    return;
  }
  hide();
  emit HiddenToTray();
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
  SaveWindowState(m_.Settings, m_.Process.SettingsDir);
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
  if (m_.Settings.HideOnClose && !exiting_ && trayAvailable_) {
    HideToTray();
    return;
  }
  // The cycle asks and shuts down; its signals hide the window and end the loop.
  emit CloseRequested(true);
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
  emit Moved(frame.x(), frame.y());
  if (settling_) {
    // The window manager has just framed the window: its title bar must stay reachable.
    KeepOnScreen();
    return;
  }
  if (!CanPlaceWindows() || !screen()) return;
  const QRect snapped = SnapToWorkArea(frame, screen()->availableGeometry());
  if (snapped == frame) return;
  placing_ = true;
  move(snapped.topLeft());
  if (snapped.size() != frame.size()) resize(snapped.size() - (frame.size() - size()));
  placing_ = false;
  emit Moved(snapped.x(), snapped.y());
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
  workHeight -= frameExtraHeight_ >= 0 ? frameExtraHeight_ : frameGeometry().height() - height();
  newHeight = std::min(newHeight, workHeight);
  // The box never stands taller than the chart; a shorter box shows its scroll bar.
  newHeight = std::min(newHeight, image.height() + ChromeHeight());
  const int newWidth = image.width() + (newHeight - ChromeHeight() < image.height() ? scrollBar : 0);
  if (newWidth != width() || newHeight != height()) {
    placing_ = true;
    setFixedWidth(newWidth);
    resize(newWidth, newHeight);
    placing_ = false;
  }
  // Placed with its real size: a window grown downwards from a spot chosen for its start size
  // would reach below the screen.
  if (!settling_) return;
  KeepOnScreen();
  if (settleTimer_ && settleTimer_->isActive()) return;
  // The window manager's frame comes when it comes (late on a busy machine), and its size is
  // known to us only some time after: until 3 s after the frame is seen (15 s at most), the
  // height is fitted again with the frame counted and the window kept on the screen.
  if (!settleTimer_) {
    settleTimer_ = new QTimer(this);
    connect(settleTimer_, &QTimer::timeout, this, [this] {
      ++settleTicks_;
      const std::optional<QRect> outer = OuterFrameOnServer(*this);
      const bool framed = outer ? outer->size() != size() : frameGeometry().width() > width();
      if (framed) ++framedTicks_;
      if (outer) frameExtraHeight_ = outer->height() - height();
      if (!chart_->image.isNull()) FitToChart(chart_->image.height());
      if (framed) KeepOnScreen(true);
      if (framedTicks_ < 15 && settleTicks_ < 75) return;
      settling_ = false;
      settleTimer_->stop();
    });
  }
  settleTicks_ = framedTicks_ = 0;
  settleTimer_->start(200);
}

void TfrmKelvaraMain::RefreshChart() {
  // A reload of the options may have changed the language; unchanged captions cost nothing.
  ApplyCaptions();
  if (!isVisible()) return;
  bool frozen = false;
  try {
    const QSize oldSize = chart_->image.size();
    const int scrollPosition = scrollBox_->verticalScrollBar()->value();
    const tDisplayData d = m_.Display();
    const tViewChoice view = view_.CurrentView(d, LocalTime());
    if (view.series) {
      if (const auto geometry = DrawStatistics(chart_->image, d, *view.series, view.endTime, view.hours, nullptr,
                                                   &chart_->texts))
        geometry_ = *geometry;
    }
    UpdateCaption();
    // The usual tick keeps the chart's size: the window repaints the changed rows only, where
    // frozen updates would repaint all of it when they thaw. The fit still runs (a no-op unless
    // the window is being placed or the screen changed).
    if (chart_->image.size() != oldSize) {
      setUpdatesEnabled(false);
      frozen = true;
    }
    chart_->Show();
    if (!chart_->image.isNull()) FitToChart(oldSize.height());
    if (frozen) scrollBox_->verticalScrollBar()->setValue(scrollPosition);
  } catch (const std::exception& e) {
    LogError("dis1 ", e);
  }
  if (frozen) setUpdatesEnabled(true);
}

void TfrmKelvaraMain::ChartMouseMove(int x, int y) {
  const tSettings& s = m_.Settings;
  if (!s.DisplayHint) return;
  const auto section = SectionAt(geometry_, s.StatsWidth, x, y);
  if (!section) return;
  try {
    const tDisplayData d = m_.Display();
    const tViewChoice view = view_.CurrentView(d, LocalTime());
    if (!view.series) return;
    const std::string text = ValuesText(d, *view.series, *section, HoverTime(geometry_, s.StatsWidth, x), geometry_);
    chart_->setToolTip(QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    if (!text.empty()) QToolTip::showText(QCursor::pos(), chart_->toolTip(), chart_);
  } catch (const std::exception& e) {
    LogError("ismm1 ", e);
  }
}

void TfrmKelvaraMain::ChartDoubleClick(int x, int y) {
  DoubleClickPage(geometry_, m_.Settings.StatsWidth, x, y, [this](int page) { emit OptionsChosen(page); });
}

void TfrmKelvaraMain::wheelEvent(QWheelEvent* event) {
  const int delta = event->angleDelta().y();
  if (delta != 0 && view_.Wheel(delta > 0)) {
    ViewChosen();
    event->accept();
    return;
  }
  event->ignore();
}

bool TfrmKelvaraMain::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == scrollBox_->viewport() || watched == status_) && event->type() == QEvent::Wheel) {
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
  using A = tMenuAction;
  const auto checked = view_.Checked();
  Action(A::Stats)->setChecked(checked == tStatsView::Basic);
  Action(A::Stats24)->setChecked(checked == tStatsView::Day24);
  Action(A::Stats7)->setChecked(checked == tStatsView::Week7);
  Action(A::Stats31)->setChecked(false);
  Action(A::Stats365)->setChecked(false);
  cycle_.RefreshDisplays();
  UpdateCaption();
}

void TfrmKelvaraMain::SelectView(tStatsView view) {
  view_.SelectView(view);
  ViewChosen();
}

void TfrmKelvaraMain::Back1Day() {
  view_.Back1Day(LocalTime());
  ViewChosen();
}

void TfrmKelvaraMain::Forward1Day() {
  view_.Forward1Day(LocalTime());
  ViewChosen();
}

TDateTime TfrmKelvaraMain::LocalTime() const { return UtcToLocal(m_.Time.UtcNow()); }

void TfrmKelvaraMain::PopupTrayMenu(const QPoint& at) {
  Action(tMenuAction::AutoUpload1)->setChecked(m_.Settings.AutoConnect);
  Action(tMenuAction::Timer)->setText(QString::fromStdString(Captions().POSuspendInactive));
  if (isVisible()) {
    raise();
    activateWindow();
  }
  trayMenu_->popup(at);
}

void TfrmKelvaraMain::DisplayMenuShown() {
  using A = tMenuAction;
  const tSettings& s = m_.Settings;
  for (const A light : {A::Light, A::Light1}) Action(light)->setChecked(s.ShowLight);
  for (const A banner : {A::Banner, A::Banner1}) Action(banner)->setChecked(s.ShowBanner);
  for (const A through : {A::ClickThrough, A::ClickThrough1}) Action(through)->setChecked(s.ClickThrough);
}

void TfrmKelvaraMain::OptionsMenuShown(bool tray) {
  using A = tMenuAction;
  Action(tray ? A::AutoUpload1 : A::AutoUpload)->setChecked(m_.Settings.AutoConnect);
  Action(tray ? A::Expert1 : A::Expert)->setVisible(m_.Process.ExpertMode);
  Action(tray ? A::Debug1 : A::Debug)->setVisible(DebugMode());
}

void TfrmKelvaraMain::TrayActivated(QSystemTrayIcon::ActivationReason reason) {
  try {
    switch (reason) {
      case QSystemTrayIcon::Trigger:
        if (isVisible()) HideToTray();
        else ShowAndRaise();
        break;
      case QSystemTrayIcon::DoubleClick:
        emit AutoUploadToggled();
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

void TfrmKelvaraMain::SaveAs(bool light) {
  const auto texts = Texts();
  const auto [chosen, filter] = services_.askSaveName(light ? texts->SaveLightAs : texts->SaveBannerAs,
                                                      ProposedSaveName(light ? m_.Settings.Light : m_.Settings.Banner));
  if (chosen.empty()) return;
  if (light) SaveLightAs(m_.Display(), cycle_.Ui(), chosen, filter);
  else SaveBannerAs(m_.Display(), cycle_.Ui(), chosen, filter);
}

}  // namespace kv
