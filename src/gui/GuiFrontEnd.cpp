#include "gui/GuiFrontEnd.h"

#include <QApplication>
#include <QSystemTrayIcon>

#include "app/MainCycle.h"
#include "core/UiPort.h"
#include "gui/MainWindow.h"
#include "gui/WidgetUi.h"

namespace kv {

tFrontEnd WidgetFrontEnd() {
  tFrontEnd frontEnd;
  frontEnd.makeApplication = [](int& argc, char** argv) -> std::unique_ptr<QCoreApplication> {
    return std::make_unique<QApplication>(argc, argv);
  };
  frontEnd.makeUi = []() -> std::unique_ptr<UiPort> { return std::make_unique<WidgetUi>(); };
  frontEnd.attach = [](TMainCycle& cycle) -> std::unique_ptr<QObject> {
    auto window = std::make_unique<TfrmKelvaraMain>(cycle, QSystemTrayIcon::isSystemTrayAvailable());
    auto* ui = dynamic_cast<WidgetUi*>(&Ui());
    if (ui) ui->SetWindow(window.get());
    window->SetUploadNow([&cycle] { cycle.UploadNow(); });
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
