#include "tools/SysInfo.h"

int main(int argc, char** argv) { return kv::RunSysInfo(argc, argv); }
