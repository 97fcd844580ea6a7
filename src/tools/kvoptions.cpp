#include "tools/options/OptionsDialog.h"

int main(int argc, char** argv) { return kv::RunOptions(argc, argv); }
