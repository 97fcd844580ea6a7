#pragma once

namespace kv {

// Installs the reader of every source into its step of the acquisition pass. Both the monitor
// and the system-information program call it once before their first pass.
void InstallAllSources();

}  // namespace kv
