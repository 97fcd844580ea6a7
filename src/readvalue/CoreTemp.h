#pragma once

namespace kv {

struct tPassContext;

// Core Temp's block "CoreTempMappingObject": core temperatures into T1..T10 (converted from
// distances to TjMax and from Fahrenheit where the block says so), core voltage into V10 and
// the clock into Freq.
void ReadCoreTemp(tPassContext& ctx);

}  // namespace kv
