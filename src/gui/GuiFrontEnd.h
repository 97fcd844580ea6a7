#pragma once
#include "app/Startup.h"

namespace kv {

// The widget application and the widget port, for a start with a display.
tFrontEnd WidgetFrontEnd();

// The application style of the widget program; needs the QApplication.
void InstallKelvaraStyle();

}  // namespace kv
