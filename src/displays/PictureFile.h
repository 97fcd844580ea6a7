#pragma once
// The choice between the two picture formats by file name.
#include <string>

#include <QImage>

namespace kv {

// The extension of the name's last path part, dot included, in lower case; empty when none.
std::string FileExtension(const std::string& name);

// name with ".png" appended unless its extension is ".png" or ".gif" in any case.
std::string PictureFileName(const std::string& name);

// Writes a GIF when PictureFileName(name) ends in ".gif", a PNG otherwise; returns the name written
// or an empty text with the reason in error. bytes, when given, receives the file's content.
std::string WritePictureFile(const QImage& image, const std::string& name, std::string& error,
                             std::string* bytes = nullptr);

}  // namespace kv
