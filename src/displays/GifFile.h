#pragma once
#include <string>

#include <QImage>

namespace kv {

// Encodes the image as a single-frame GIF89a: colours reduced by an octree to at most 256, each
// pixel mapped to its nearest palette colour without dithering, the palette padded with black to
// exactly 256 entries, and a graphic control extension with default values.
bool EncodeGif(const QImage& image, std::string& out, std::string& error);

// Writes the GIF to path through a temporary file renamed into place; on failure the old file
// stays. False with a reason in error.
bool WriteGif(const QImage& image, const std::string& path, std::string& error);

}  // namespace kv
