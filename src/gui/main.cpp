#include "app/Startup.h"
#include "core/ProgramInfo.h"
#include "gui/GuiFrontEnd.h"

// With a display the widget front end is used; without one the program runs headless.
int main(int argc, char** argv) {
  if (const auto answered = kv::AnswerHelpOrVersion(kv::tProgram::Kelvara, argc, argv)) return *answered;
  return kv::RunKelvara(argc, argv, kv::WidgetFrontEnd());
}
