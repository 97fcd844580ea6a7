#include "app/Connections.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSessionManager>

#include "alerts/AlertActions.h"
#include "alerts/AlertCommand.h"
#include "alerts/Alerts.h"
#include "app/MainCycle.h"
#include "displays/ImageSaving.h"

namespace kv {

void ConnectPictures(TMainCycle& cycle, tPictureSaved saved) {
  QObject::connect(&cycle, &TMainCycle::LightDue, &cycle, [saved] {
    const tSavedPicture picture = TimedLightSave();
    if (saved) saved(tImageKind::Light, picture);
  });
  QObject::connect(&cycle, &TMainCycle::BannerDue, &cycle, [saved] {
    const tSavedPicture picture = TimedBannerSave();
    if (saved) saved(tImageKind::Banner, picture);
  });
}

void ConnectAlerts(TMainCycle& cycle) {
  QObject::connect(&cycle, &TMainCycle::ReadingsChanged, &cycle, EvaluateAlerts);
  QObject::connect(&cycle, &TMainCycle::ShuttingDown, &cycle, [] { AlertCommand().Stop(); });
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
