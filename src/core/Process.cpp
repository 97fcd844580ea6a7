#include "core/Process.h"

namespace kv {

const char* const ProductName = "Kelvara";
const char* const ProductVersion = "Kelvara 3.38-pre5";

std::string AppDir = "./";
std::string SettingsDir = "./";
bool ExpertMode = false;
bool DebugSwitch = false;
bool ZeroValueSwitch = false;
bool HeadlessMode = false;

}  // namespace kv
