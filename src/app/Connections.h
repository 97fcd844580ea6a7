#pragma once
// Where the main cycle meets the application object and the picture saves; headless mode, the
// GUI and the tests wire the cycle through these same functions.
#include <functional>

#include "displays/ImageSaving.h"

class QCoreApplication;

namespace kv {

class TMainCycle;

// The timed light and banner saves, which fill the upload queue; saved, when given, is told
// what each save wrote.
using tPictureSaved = std::function<void(tImageKind, const tSavedPicture&)>;
void ConnectPictures(TMainCycle& cycle, tPictureSaved saved = {});

// The alerts are evaluated after every pass, before the tray tip is made; a command of theirs
// that still runs is killed at the shut-down, a mail still on its way gets a few seconds.
void ConnectAlerts(TMainCycle& cycle);

// Ties the cycle's life to the event loop: the loop ends when the shut-down is complete, and
// every other way out of the loop (last window closed, quit from elsewhere) runs the shut-down
// first. The desktop session's commit request (logout) ends the session like a SIGTERM does.
void ConnectApplication(QCoreApplication& app, TMainCycle& cycle);

}  // namespace kv
