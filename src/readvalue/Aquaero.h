#pragma once
// The aquaero software's status file aquaero.xml: T, V and F channels by the aquaero order maps.
// MobileMeter, the other non-shared-memory program source, has no Linux counterpart.
#include <cstddef>
#include <string>
#include <string_view>

namespace kv {

struct tPassContext;

extern const char* const AquaeroFile;  // "aquaero.xml"
// The file is a few kilobytes; anything above this is not the aquaero's and is refused.
constexpr size_t MaxAquaeroFile = 256 * 1024;

// AquaeroPath + AquaeroFile, else the file in the settings folder, else in the program folder
// (which then becomes AquaeroPath). Throws when the file is refused or unreadable; the pass's
// step has no trace tag, so this shows only in the step's health.
void ReadAquaeroFile(tPassContext& ctx);
// The line rules on the file's text.
void ReadAquaeroText(tPassContext& ctx, std::string_view text);

// Does nothing unless folder is empty: then the folder of a running aquasuite (looked for in
// the system root's processes). A non-empty result ends in "/".
void FindAquasuiteFolder(std::string& folder, const std::string& systemRoot);

// The pass step: the folder when AquaeroPath is empty, then the read.
void ReadAquaeroStep(tPassContext& ctx);

}  // namespace kv
