#pragma once
#include <string>

#include <QImage>

namespace kv {

// Encodes the image as a 24-bit RGB PNG (deflate level 9, no interlace) into memory.
// False with a reason in error when libpng fails.
bool EncodePng(const QImage& image, std::string& out, std::string& error);

// Writes the PNG to path through a temporary file renamed into place: a reader sees the old file
// or the new one, and on failure the old file stays. False with a reason in error.
bool WritePng(const QImage& image, const std::string& path, std::string& error);

}  // namespace kv
