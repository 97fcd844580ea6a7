#include "displays/PictureFile.h"

#include "core/Text.h"
#include "displays/GifFile.h"
#include "displays/PngFile.h"
#include "platform/Files.h"

namespace kv {

std::string FileExtension(const std::string& name) {
  const size_t slash = name.find_last_of('/');
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return LowerCase(name.substr(dot));
}

std::string PictureFileName(const std::string& name) {
  const std::string extension = FileExtension(name);
  if (extension == ".png" || extension == ".gif") return name;
  return name + ".png";
}

std::string WritePictureFile(const QImage& image, const std::string& name, std::string& error, std::string* bytes) {
  const std::string file = PictureFileName(name);
  std::string data;
  if (!(FileExtension(file) == ".gif" ? EncodeGif(image, data, error) : EncodePng(image, data, error))) return {};
  if (!WriteFileAtomic(file, data)) {
    error = "cannot write " + file;
    return {};
  }
  if (bytes) *bytes = std::move(data);
  return file;
}

}  // namespace kv
