// BOINC's client_state.xml, read through the file reader as the pass reads it.
#include <cmath>
#include <exception>

#include "FuzzSupport.h"
#include "readvalue/Boinc.h"
#include "settings/Settings.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kvfuzz::Init();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvtest::PassState& s = kvfuzz::FreshSensorState();
  s.Settings.BOINCPath = kvfuzz::Folder();
  kvfuzz::WriteFile(kvfuzz::Folder() + kv::BOINCStateFile, data, size);
  try {
    kv::ReadBOINC(s.Ctx);
  } catch (const std::exception&) {
    // The pass logs it with its tag.
  }
  if (s.BOINCTasks.size() > kv::MaxBOINCTasks || s.BOINCProjects.size() > kv::MaxBOINCProjects)
    kvfuzz::Fail("the lists outgrew their bounds");
  for (const kv::tBOINCActiveTask& task : s.BOINCTasks)
    if (!(task.FractionDone >= 0 && task.FractionDone <= 1)) kvfuzz::Fail("a fraction outside 0..1");
  for (const kv::tBOINCProject& p : s.BOINCProjects)
    if (!std::isfinite(p.UserTotalCredit + p.UserExpAvgCredit + p.HostTotalCredit + p.HostExpAvgCredit))
      kvfuzz::Fail("a credit that is no number");
  return 0;
}
