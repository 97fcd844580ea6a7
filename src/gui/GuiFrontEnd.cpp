#include "gui/GuiFrontEnd.h"

#include <QApplication>

#include "gui/WidgetUi.h"

namespace kv {

tFrontEnd WidgetFrontEnd() {
  tFrontEnd frontEnd;
  frontEnd.makeApplication = [](int& argc, char** argv) -> std::unique_ptr<QCoreApplication> {
    return std::make_unique<QApplication>(argc, argv);
  };
  frontEnd.makeUi = []() -> std::unique_ptr<UiPort> { return std::make_unique<WidgetUi>(); };
  return frontEnd;
}

}  // namespace kv
