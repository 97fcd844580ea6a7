#pragma once
// The line-by-line element reading shared by the status files other programs write (BOINC's
// client_state.xml, aquaero.xml): an element counts only when it opens and closes on one line.
#include <optional>
#include <string_view>

namespace kv {

// The content of the first element `name` on the line; empty when there is none.
std::string_view ElementText(std::string_view line, std::string_view name);

// A decimal number with "." (blanks around it allowed); nullopt for anything else, including
// "nan", infinities and values beyond a double ("1e400").
std::optional<double> DecimalNumber(std::string_view text);

// Cuts the next line (without "\n" or "\r\n") off the front of text.
std::string_view NextTextLine(std::string_view& text);

}  // namespace kv
