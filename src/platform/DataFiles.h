#pragma once
// Where the programs' data files are. The shipped files (language files, icons, the www sample)
// sit beside the program in a build folder and in <prefix>/share/kelvara/ once installed; the
// user-editable pieces (www/, Kelvara.pem, aquaero.xml) are looked up in SettingsDir first, so an
// installed, read-only program folder never needs root to configure.
#include <string>

#include "core/Process.h"

namespace kv {

// The path of data file name (a trailing "/" names a folder): the first of the settings folder
// (editable pieces only), the program folder, the program folder + the install's share/kelvara/
// that holds it; when none does, the program folder + name, the place a "not found" message names.
std::string DataFile(const std::string& name, const tProcessFacts& process);
// The folder DataFile found name in (ends in "/").
std::string DataFolder(const std::string& name, const tProcessFacts& process);

}  // namespace kv
