#pragma once
// Placeholders between percent signs in the texts the user writes (channel labels, KVLight.txt
// lines, picture file names, banner and chart texts), filled with current values. Main thread.
#include <string>

#include "core/DateTime.h"
#include "displays/DisplayData.h"

namespace kv {

// Replaces the base placeholder set in a fixed order, ignoring letter case, with the values of d;
// time (UTC) fills "%date%" and "%time%". A channel without a value keeps its placeholder. Never
// throws: a failure is logged ("sa1 ") and the text comes back as far as it was filled.
std::string FillTemplate(const tDisplayData& d, const std::string& text, TDateTime time);

// FillTemplate, then the local addresses and the uptime record ("sa21 ").
std::string FillLightTemplate(const tDisplayData& d, const std::string& text, TDateTime time);

// -1: every local IPv4 address joined with ", "; n: the n-th (0-based), or empty.
std::string LocalAddressText(int index);

// Every occurrence of pattern, in any letter case, replaced; replaced text is not searched again.
// limit bounds the result: once a replacement would pass it, the rest stays unreplaced and the
// whole is cut at the limit (on a character boundary).
std::string ReplaceAllNoCase(const std::string& text, const std::string& pattern, const std::string& replacement,
                             size_t limit = std::string::npos);

// Expands "%env" name "%" (the search for "%env" is case-sensitive), at most this many names deep,
// so a variable whose value names itself cannot expand without end.
constexpr int EnvironmentRounds = 16;
// The environment step never makes a line longer than this, however its values repeat.
constexpr size_t EnvironmentTextLimit = 64 * 1024;
std::string ExpandEnvironment(std::string text);

}  // namespace kv
