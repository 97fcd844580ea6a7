#pragma once
// Small files that other programs leave in folders other users may write to (a sensor
// program's configuration): read without blocking on a FIFO or device, without following a
// planted link, and only up to a bound.
#include <cstddef>
#include <string>

namespace kv {

enum class tOutsideFile {
  Read,     // content holds the whole file
  Missing,  // nothing of that name
  Refused,  // a link, FIFO, device or folder, or larger than the bound
  Failed,   // a regular file that could not be read
};

// `why` gets the reason for Refused and Failed.
tOutsideFile ReadOutsideFile(const std::string& path, size_t maxBytes, std::string& content,
                             std::string& why);

// The same, except that a regular file larger than the bound is not refused: its first maxBytes
// are read and truncated says so. For files whose readers keep what a part of them gives.
tOutsideFile ReadOutsideFileHead(const std::string& path, size_t maxBytes, std::string& content,
                                 bool& truncated, std::string& why);

}  // namespace kv
