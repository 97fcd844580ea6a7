#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kv {

std::string LowerCase(std::string_view s);   // ASCII letters only, like the INI names
std::string UpperCase(std::string_view s);
bool SameText(std::string_view a, std::string_view b);  // case-insensitive ASCII compare
// Strips leading and trailing blanks and control characters.
std::string Trim(std::string_view s);
// Adds "/" when the path does not end in one.
std::string IncludeTrailingSlash(std::string_view path);
// The value of one hexadecimal digit; -1 for any other character.
int HexValue(char c);
// A whole decimal number, optionally negative; nullopt for anything else.
std::optional<int64_t> ParseInt(std::string_view s);
// ParseInt with a fallback.
int64_t StrToIntDef(std::string_view s, int64_t fallback);
// Outside text for one log line: backslash, line breaks, tabs, other control bytes and bytes
// above 0x7E escaped ("\\", "\n", "\r", "\t", "\x1B"), at most limit characters of it, then
// "..." and the whole text's size when it was longer.
std::string LogExcerpt(std::string_view text, size_t limit = 200);
// The first `characters` characters of a UTF-8 text, never ending inside a character's bytes.
std::string FirstCharacters(std::string_view text, size_t characters);

}  // namespace kv
