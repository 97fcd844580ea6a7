#pragma once

namespace kv {

struct tPassContext;

// VCool's block "VCOOL_SHARED_DATA", opened for full access as VCool offers it.
void ReadVCool(tPassContext& ctx);

}  // namespace kv
