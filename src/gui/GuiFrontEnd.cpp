#include "gui/GuiFrontEnd.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QProxyStyle>
#include <QSystemTrayIcon>

#include "app/MainCycle.h"
#include "core/ProgramInfo.h"
#include "core/UiPort.h"
#include <memory>
#include "gui/MainWindow.h"
#include "gui/WidgetUi.h"

namespace kv {

namespace {

// The platform's style, except for the menu bar's overflow button: the style loads that picture
// from a file without naming its format, which makes Qt load every image plugin (with their
// libraries) in the first second of the program, only to ask them. Drawn here instead.
class TKelvaraStyle : public QProxyStyle {
 public:
  QIcon standardIcon(StandardPixmap icon, const QStyleOption* option, const QWidget* widget) const override {
    if (icon != SP_ToolBarHorizontalExtensionButton && icon != SP_ToolBarVerticalExtensionButton)
      return QProxyStyle::standardIcon(icon, option, widget);
    QPixmap chevron(16, 16);
    chevron.fill(Qt::transparent);
    QPainter p(&chevron);
    p.setPen(QPen(QColor(64, 64, 64), 1.5));
    for (const int x : {4, 9}) {  // ">>" pointing the way the bar overflows
      if (icon == SP_ToolBarHorizontalExtensionButton)
        p.drawPolyline(QPolygonF({QPointF(x, 4), QPointF(x + 3, 8), QPointF(x, 12)}));
      else
        p.drawPolyline(QPolygonF({QPointF(4, x), QPointF(8, x + 3), QPointF(12, x)}));
    }
    return QIcon(chevron);
  }
};

}  // namespace

void InstallKelvaraStyle() { QApplication::setStyle(new TKelvaraStyle); }

tFrontEnd WidgetFrontEnd() {
  // The port the front end makes is the one its window is attached to.
  auto port = std::make_shared<WidgetUi*>(nullptr);
  tFrontEnd frontEnd;
  frontEnd.makeApplication = [](int& argc, char** argv) -> std::unique_ptr<QCoreApplication> {
    auto app = std::make_unique<QApplication>(argc, argv);
    // Lets the desktop match the windows to the installed entry (the Wayland app id).
    QGuiApplication::setDesktopFileName(QString::fromLatin1(DesktopId));
    InstallKelvaraStyle();
    return app;
  };
  frontEnd.makeUi = [port]() -> std::unique_ptr<UiPort> {
    auto ui = std::make_unique<WidgetUi>();
    *port = ui.get();
    return ui;
  };
  frontEnd.attach = [port](TMainCycle& cycle) -> std::unique_ptr<QObject> {
    auto window = std::make_unique<TfrmKelvaraMain>(cycle, QSystemTrayIcon::isSystemTrayAvailable());
    WidgetUi* ui = *port;
    if (ui) ui->SetWindow(window.get());
    window->ShowSplash();
    // Placed and shown once the initialisation has run and the event loop is going.
    QMetaObject::invokeMethod(window.get(), &TfrmKelvaraMain::StartUp, Qt::QueuedConnection);
    QObject::connect(window.get(), &QObject::destroyed, [ui] {
      if (ui) ui->SetWindow(nullptr);
    });
    return window;
  };
  return frontEnd;
}

}  // namespace kv
