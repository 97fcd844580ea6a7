#include "readvalue/AllSources.h"

namespace kv {

void InstallAllSources() {
  // The sources register themselves here as they arrive.
}

}  // namespace kv
