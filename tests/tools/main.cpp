// The options and system-information windows need a real X server: the suite runs on its own
// Xvfb, and the programs its tests start keep the environment the suite was given.
#include "support/WidgetTestMain.h"

int main(int argc, char** argv) { return kvtest::RunWidgetTests(argc, argv, "test_tools", true); }
