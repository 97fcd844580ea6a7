#include "displays/PngFile.h"

#include <png.h>

#include <csetjmp>
#include <vector>

#include "platform/Files.h"

namespace kv {

namespace {

struct tPngSink {
  std::string* out;
  std::string message;
};

void WriteToString(png_structp png, png_bytep data, png_size_t length) {
  auto* sink = static_cast<tPngSink*>(png_get_io_ptr(png));
  sink->out->append(reinterpret_cast<const char*>(data), length);
}

void FlushNothing(png_structp) {}

[[noreturn]] void OnPngError(png_structp png, png_const_charp message) {
  auto* sink = static_cast<tPngSink*>(png_get_error_ptr(png));
  sink->message = message != nullptr ? message : "libpng error";
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Kept free of C++ objects with destructors between setjmp and a possible longjmp.
bool RunPng(const QImage& rgb, std::vector<png_bytep>& rows, tPngSink& sink) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, OnPngError, OnPngWarning);
  if (png == nullptr) {
    sink.message = "cannot create PNG writer";
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    sink.message = "cannot create PNG header";
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &sink, WriteToString, FlushNothing);
  // Our pictures are flat colours on long runs: unfiltered rows let deflate find the repeats,
  // and at level 6 the files come out smaller than adaptive filtering at level 9, several times
  // faster (bench_chart, bench_banner, bench_displays).
  png_set_compression_level(png, 6);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_set_IHDR(png, info, static_cast<png_uint_32>(rgb.width()), static_cast<png_uint_32>(rgb.height()), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool EncodePng(const QImage& image, std::string& out, std::string& error) {
  if (image.isNull() || image.width() <= 0 || image.height() <= 0) {
    error = "empty image";
    return false;
  }
  // The drawing bitmap's fourth byte is no alpha channel: the file is plain RGB.
  const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
  std::vector<png_bytep> rows(static_cast<size_t>(rgb.height()));
  for (int y = 0; y < rgb.height(); ++y) rows[static_cast<size_t>(y)] = const_cast<png_bytep>(rgb.constScanLine(y));
  out.clear();
  tPngSink sink{&out, {}};
  if (!RunPng(rgb, rows, sink)) {
    error = sink.message;
    return false;
  }
  return true;
}

bool WritePng(const QImage& image, const std::string& path, std::string& error) {
  std::string data;
  if (!EncodePng(image, data, error)) return false;
  if (!WriteFileAtomic(path, data)) {
    error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace kv
