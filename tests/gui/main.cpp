// The windows need a real X server: the suite runs on its own Xvfb.
#include "support/WidgetTestMain.h"

int main(int argc, char** argv) { return kvtest::RunWidgetTests(argc, argv, "test_gui", false); }
