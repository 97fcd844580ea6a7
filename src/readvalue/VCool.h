#pragma once

namespace kv {

// VCool's block "VCOOL_SHARED_DATA", opened for full access as VCool offers it.
void ReadVCool();

}  // namespace kv
