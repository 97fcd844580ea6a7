#pragma once

namespace kv {

// Puts the readers of the shared-memory sensor programs into their steps of the acquisition
// pass. Called once at start-up, before the first pass.
void InstallSensorSources();

}  // namespace kv
