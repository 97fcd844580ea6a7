#include "app/Startup.h"

int main(int argc, char** argv) { return kv::RunKelvara(argc, argv); }
