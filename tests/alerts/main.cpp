// The timed picture saves draw text, and fonts need a GUI application; the offscreen platform serves.
#include <gtest/gtest.h>

#include <QGuiApplication>

int main(int argc, char** argv) {
  // Test discovery runs this without the test environment: never look for a display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
