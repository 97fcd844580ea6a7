#include "core/ProgramInfo.h"
#include "tools/options/OptionsDialog.h"

int main(int argc, char** argv) {
  if (const auto answered = kv::AnswerHelpOrVersion(kv::tProgram::Options, argc, argv)) return *answered;
  return kv::RunOptions(argc, argv);
}
