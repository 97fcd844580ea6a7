#include "app/Startup.h"
#include "gui/GuiFrontEnd.h"

// With a display the widget front end is used; without one the program runs headless.
int main(int argc, char** argv) { return kv::RunKelvara(argc, argv, kv::WidgetFrontEnd()); }
