#pragma once
// Small helpers for reading /proc and /sys text files cheaply: one open, a few read() calls into a
// reused buffer, and parsing on string_views. Nothing here throws or reads past its input.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv {
class tKeptFiles;
}

namespace kv::systext {

// "<root>" + relative, where root may or may not end in "/" and relative has no leading "/".
std::string RootPath(const std::string& root, std::string_view relative);

// Opens a file for reading without blocking on a FIFO or device; only a regular file is
// accepted. noFollow also refuses a link as the last part of the path. -1 on failure.
int OpenRegularFile(const std::string& path, bool noFollow);

// No /proc or /sys file comes near this; a bigger one is refused rather than read without end.
constexpr size_t MaxSmallFile = 16 * 1024 * 1024;

// Reads the whole file into `buffer` (its capacity is kept between calls). False when the file
// cannot be opened or a read fails, which /sys answers for attributes the device cannot report.
bool ReadSmallFile(const std::string& path, std::string& buffer);
// The same into a per-thread scratch buffer; the view is valid until the next call on this thread.
std::optional<std::string_view> ReadScratch(const std::string& path);

// Through kept when given (the descriptor stays open for the next call), else ReadScratch.
std::optional<std::string_view> ReadText(const std::string& path, tKeptFiles* kept);

// The file's content without surrounding blanks and newlines.
std::optional<std::string> ReadTrimmed(const std::string& path);
// A file holding one decimal number (with optional surrounding blanks and newline).
std::optional<uint64_t> ReadUnsigned(const std::string& path);
std::optional<int64_t> ReadSigned(const std::string& path);

std::string_view TrimView(std::string_view s);
// The text up to and including its last "\n": a final line without one was cut off (a file read
// while it changed, a damaged copy) and would give wrong figures.
std::string_view CompleteLines(std::string_view text);
// Cuts the next line (without its "\n") off the front of `text`.
std::string_view NextLine(std::string_view& text);
// Cuts the next blank-separated field off the front of `text`; empty when none is left.
std::string_view NextField(std::string_view& text);
std::optional<uint64_t> ParseUnsigned(std::string_view s);
std::optional<int64_t> ParseSigned(std::string_view s);

// Names in a folder, without "." and "..". Empty when the folder cannot be read.
std::vector<std::string> ListFolder(const std::string& path);
// The number after `prefix` in names like "thermal_zone12"; nullopt unless the rest is all digits.
std::optional<uint64_t> NumberAfter(std::string_view name, std::string_view prefix);

}  // namespace kv::systext
