#include "app/Connections.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSessionManager>

#include "alerts/AlertActions.h"
#include "alerts/AlertCommand.h"
#include "alerts/AlertMail.h"
#include "alerts/Alerts.h"
#include "app/MainCycle.h"
#include "displays/ImageSaving.h"

namespace kv {

void ConnectPictures(TMainCycle& cycle, tPictureSaved saved) {
  tMonitor& m = cycle.Monitor();
  QObject::connect(&cycle, &TMainCycle::LightDue, &cycle, [&m, &cycle, saved] {
    const tSavedPicture picture = TimedLightSave(m.Display(), cycle.Ui(), m.Pictures);
    if (saved) saved(tImageKind::Light, picture);
  });
  QObject::connect(&cycle, &TMainCycle::BannerDue, &cycle, [&m, &cycle, saved] {
    const tSavedPicture picture = TimedBannerSave(m.Display(), cycle.Ui(), m.Pictures);
    if (saved) saved(tImageKind::Banner, picture);
  });
}

void ConnectAlerts(TMainCycle& cycle) {
  QObject::connect(&cycle, &TMainCycle::ReadingsChanged, &cycle, [&cycle] {
    for (const tAlertEvent& e : cycle.Monitor().Alerts.Evaluate()) cycle.AlertActions().Run(e);
  });
  QObject::connect(&cycle, &TMainCycle::ShuttingDown, &cycle, [&cycle] {
    cycle.AlertActions().Command().Stop();
    cycle.AlertActions().Mailer().Stop(std::chrono::seconds(5));  // an alert's end may still be on its way
  });
}

void ConnectApplication(QCoreApplication& app, TMainCycle& cycle) {
  // A question box is often the only window: closing it must not end the program.
  QGuiApplication::setQuitOnLastWindowClosed(false);
  QObject::connect(&cycle, &TMainCycle::Finished, &app, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  QObject::connect(&app, &QCoreApplication::aboutToQuit, &cycle, &TMainCycle::EnsureShutDown);
#ifndef QT_NO_SESSIONMANAGER
  if (auto* gui = qobject_cast<QGuiApplication*>(&app))
    QObject::connect(gui, &QGuiApplication::commitDataRequest, &cycle,
                     [&cycle](QSessionManager&) { cycle.SessionEnd(); });
#endif
}

}  // namespace kv
