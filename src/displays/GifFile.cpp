#include "displays/GifFile.h"

#include <gif_lib.h>

#include <unordered_map>
#include <vector>

#include "displays/ColourQuantiser.h"
#include "platform/Files.h"

namespace kv {

namespace {

constexpr int PaletteSize = 256;

int WriteToString(GifFileType* gif, const GifByteType* data, int length) {
  static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data),
                                                   static_cast<size_t>(length));
  return length;
}

std::string GifError(int code) {
  const char* text = GifErrorString(code);
  return text != nullptr ? text : "GIF error " + std::to_string(code);
}

}  // namespace

bool EncodeGif(const QImage& image, std::string& out, std::string& error) {
  if (image.isNull() || image.width() <= 0 || image.height() <= 0) {
    error = "empty image";
    return false;
  }
  if (image.width() > 65535 || image.height() > 65535) {
    error = "image too large for GIF";
    return false;
  }
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  const std::vector<tColour> palette = OctreePalette(rgb, PaletteSize);

  // Pixel indices, with the nearest-colour search done once per distinct colour.
  const int width = rgb.width();
  const int height = rgb.height();
  std::vector<GifPixelType> indices(static_cast<size_t>(width) * static_cast<size_t>(height));
  std::unordered_map<tColour, GifPixelType> lookup;
  for (int y = 0; y < height; ++y) {
    const QRgb* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    for (int x = 0; x < width; ++x) {
      const tColour c = FromQRgb(row[x]);
      auto found = lookup.find(c);
      if (found == lookup.end()) {
        found = lookup.emplace(c, static_cast<GifPixelType>(NearestPaletteIndex(palette, c))).first;
      }
      indices[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = found->second;
    }
  }

  std::vector<GifColorType> colours(PaletteSize, GifColorType{0, 0, 0});  // padding is black
  for (size_t i = 0; i < palette.size() && i < colours.size(); ++i) {
    colours[i] = GifColorType{static_cast<GifByteType>(RedOf(palette[i])),
                              static_cast<GifByteType>(GreenOf(palette[i])),
                              static_cast<GifByteType>(BlueOf(palette[i]))};
  }

  out.clear();
  int code = 0;
  GifFileType* gif = EGifOpen(&out, WriteToString, &code);
  if (gif == nullptr) {
    error = GifError(code);
    return false;
  }
  ColorMapObject* map = GifMakeMapObject(PaletteSize, colours.data());
  GraphicsControlBlock control{};
  control.DisposalMode = DISPOSAL_UNSPECIFIED;
  control.UserInputFlag = false;
  control.DelayTime = 0;
  control.TransparentColor = NO_TRANSPARENT_COLOR;
  GifByteType extension[4] = {};
  EGifGCBToExtension(&control, extension);

  bool ok = map != nullptr;
  EGifSetGifVersion(gif, true);
  ok = ok && EGifPutScreenDesc(gif, width, height, 8, 0, map) == GIF_OK;
  ok = ok && EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, sizeof extension, extension) == GIF_OK;
  ok = ok && EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
  for (int y = 0; ok && y < height; ++y) {
    ok = EGifPutLine(gif, indices.data() + static_cast<size_t>(y) * static_cast<size_t>(width), width) == GIF_OK;
  }
  if (!ok) error = map == nullptr ? "cannot create GIF palette" : GifError(gif->Error);
  if (EGifCloseFile(gif, &code) != GIF_OK && ok) {
    ok = false;
    error = GifError(code);
  }
  GifFreeMapObject(map);
  return ok;
}

bool WriteGif(const QImage& image, const std::string& path, std::string& error) {
  std::string data;
  if (!EncodeGif(image, data, error)) return false;
  if (!WriteFileAtomic(path, data)) {
    error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace kv
