#include "core/ProgramInfo.h"
#include "tools/SysInfo.h"

int main(int argc, char** argv) {
  if (const auto answered = kv::AnswerHelpOrVersion(kv::tProgram::SysInfo, argc, argv)) return *answered;
  return kv::RunSysInfo(argc, argv);
}
