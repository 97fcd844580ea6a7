#include <gif_lib.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <vector>

#include "displays/Canvas.h"
#include "displays/ColourQuantiser.h"
#include "displays/GifFile.h"
#include "displays/PictureFile.h"
#include "displays/PngFile.h"
#include "displays/SegmentDigits.h"
#include "support/TestSupport.h"

namespace kv {
namespace {

// A small banner-like picture: frame, dotted grid, a curve, segment digits and text.
QImage DrawnPicture(int w = 200, int h = 80) {
  QImage image(w, h, QImage::Format_RGB32);
  Canvas canvas(image);
  canvas.penColour = MakeColour(0, 0, 128);
  canvas.brushColour = MakeColour(250, 250, 240);
  canvas.Rectangle(0, 0, w, h);
  canvas.penColour = MakeColour(180, 180, 180);
  canvas.penStyle = tPenStyle::Dot;
  for (int y = 14; y < h - 10; y += 12) canvas.Line(8, y, w - 20, y);
  canvas.penStyle = tPenStyle::Solid;
  canvas.penColour = MakeColour(220, 30, 30);
  std::vector<tPoint> curve;
  for (int x = 10; x < w - 20; x += 7) curve.push_back({x, 40 + (x * 37) % 23});
  canvas.Polyline(curve);
  DrawSegmentNumber(canvas, MakeColour(30, 120, 30), 47, 1, 1, 7, 20, w - 5);
  canvas.SetFont(tFont{FontSmall, 10, false, MakeColour(20, 20, 20)});
  canvas.TextOut(8, 66, "Kelvara 3.38-pre5");
  return image;
}

// Every pixel with a distinct colour of its own position: far more than 256 colours.
QImage Gradient() {
  QImage image(256, 64, QImage::Format_RGB32);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 256; ++x) image.setPixel(x, y, qRgb(x, y * 4, (x + 3 * y) % 256));
  return image;
}

void ExpectSamePixels(const QImage& expected, const QImage& actual) {
  ASSERT_EQ(expected.size(), actual.size());
  int wrong = 0;
  for (int y = 0; y < expected.height(); ++y)
    for (int x = 0; x < expected.width(); ++x)
      if ((expected.pixel(x, y) & 0xFFFFFF) != (actual.pixel(x, y) & 0xFFFFFF) && ++wrong <= 3)
        ADD_FAILURE() << "pixel " << x << "," << y;
  EXPECT_EQ(wrong, 0);
}

std::set<std::string> FolderEntries(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

TEST(PngFile, RoundTripsThroughLibpngAndQImage) {
  kvtest::TempDir dir;
  const QImage picture = DrawnPicture();
  std::string error;
  ASSERT_TRUE(WritePng(picture, dir.File("kvlight.png"), error)) << error;

  // Header: 8-bit RGB without alpha, not interlaced; the zlib stream flags the default level.
  const std::string bytes = kvtest::ReadFile(dir.File("kvlight.png"));
  ASSERT_GT(bytes.size(), 40u);
  EXPECT_EQ(bytes.substr(12, 4), "IHDR");
  EXPECT_EQ(static_cast<unsigned char>(bytes[24]), 8);  // bit depth
  EXPECT_EQ(static_cast<unsigned char>(bytes[25]), 2);  // colour type RGB
  EXPECT_EQ(static_cast<unsigned char>(bytes[28]), 0);  // no interlace
  const size_t idat = bytes.find("IDAT");
  ASSERT_NE(idat, std::string::npos);
  EXPECT_EQ(static_cast<unsigned char>(bytes[idat + 5]) >> 6, 2);  // FLEVEL: level 6

  png_image decoded{};
  decoded.version = PNG_IMAGE_VERSION;
  ASSERT_NE(png_image_begin_read_from_file(&decoded, dir.File("kvlight.png").c_str()), 0);
  decoded.format = PNG_FORMAT_RGB;
  std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(decoded));
  ASSERT_NE(png_image_finish_read(&decoded, nullptr, rgb.data(), 0, nullptr), 0);
  ASSERT_EQ(static_cast<int>(decoded.width), picture.width());
  ASSERT_EQ(static_cast<int>(decoded.height), picture.height());
  int wrong = 0;
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) {
      const unsigned char* p = &rgb[static_cast<size_t>((y * picture.width() + x) * 3)];
      const QRgb q = picture.pixel(x, y);
      if (p[0] != qRed(q) || p[1] != qGreen(q) || p[2] != qBlue(q)) ++wrong;
    }
  EXPECT_EQ(wrong, 0);

  ExpectSamePixels(picture, QImage(QString::fromStdString(dir.File("kvlight.png"))));
  EXPECT_EQ(FolderEntries(dir.Path()), std::set<std::string>{"kvlight.png"});  // no temporary left
}

TEST(PngFile, ManyColoursStayExact) {
  kvtest::TempDir dir;
  std::string error;
  ASSERT_TRUE(WritePng(Gradient(), dir.File("g.png"), error)) << error;
  ExpectSamePixels(Gradient(), QImage(QString::fromStdString(dir.File("g.png"))));
}

class GifDecoded {
 public:
  explicit GifDecoded(const std::string& path) {
    int code = 0;
    gif_ = DGifOpenFileName(path.c_str(), &code);
    if (gif_ != nullptr && DGifSlurp(gif_) != GIF_OK) {
      DGifCloseFile(gif_, &code);
      gif_ = nullptr;
    }
  }
  ~GifDecoded() {
    int code = 0;
    if (gif_ != nullptr) DGifCloseFile(gif_, &code);
  }
  GifDecoded(const GifDecoded&) = delete;
  GifDecoded& operator=(const GifDecoded&) = delete;

  GifFileType* operator->() const { return gif_; }
  bool Ok() const { return gif_ != nullptr; }
  const ColorMapObject* Map() const {
    const ColorMapObject* local = gif_->SavedImages[0].ImageDesc.ColorMap;
    return local != nullptr ? local : gif_->SColorMap;
  }
  QImage ToImage() const {
    const SavedImage& frame = gif_->SavedImages[0];
    QImage image(frame.ImageDesc.Width, frame.ImageDesc.Height, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        const GifColorType c = Map()->Colors[frame.RasterBits[y * image.width() + x]];
        image.setPixel(x, y, qRgb(c.Red, c.Green, c.Blue));
      }
    return image;
  }

 private:
  GifFileType* gif_ = nullptr;
};

TEST(GifFile, FewColoursRoundTripExactlyWithAFullPalette) {
  kvtest::TempDir dir;
  const QImage picture = DrawnPicture();
  std::string error;
  ASSERT_TRUE(WriteGif(picture, dir.File("kvwide.gif"), error)) << error;
  EXPECT_EQ(kvtest::ReadFile(dir.File("kvwide.gif")).substr(0, 6), "GIF89a");

  GifDecoded gif(dir.File("kvwide.gif"));
  ASSERT_TRUE(gif.Ok());
  ASSERT_EQ(gif->ImageCount, 1);
  ASSERT_NE(gif.Map(), nullptr);
  EXPECT_EQ(gif.Map()->ColorCount, 256);
  ExpectSamePixels(picture, gif.ToImage());
  ExpectSamePixels(picture, QImage(QString::fromStdString(dir.File("kvwide.gif"))));

  // Entries beyond the picture's own colours are black padding.
  std::set<QRgb> used;
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) used.insert(picture.pixel(x, y));
  ASSERT_LT(used.size(), 200u);
  for (int i = static_cast<int>(used.size()); i < 256; ++i) {
    const GifColorType c = gif.Map()->Colors[i];
    EXPECT_EQ(c.Red + c.Green + c.Blue, 0) << i;
  }

  GraphicsControlBlock control{};
  ASSERT_EQ(DGifSavedExtensionToGCB(gif.operator->(), 0, &control), GIF_OK);
  EXPECT_EQ(control.DisposalMode, DISPOSAL_UNSPECIFIED);
  EXPECT_EQ(control.DelayTime, 0);
  EXPECT_EQ(control.TransparentColor, NO_TRANSPARENT_COLOR);
  EXPECT_FALSE(control.UserInputFlag);
}

TEST(GifFile, FiveColoursStillGetA256EntryPalette) {
  kvtest::TempDir dir;
  QImage picture(10, 5, QImage::Format_RGB32);
  const QRgb colours[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255),
                          qRgb(12, 34, 56)};
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 10; ++x) picture.setPixel(x, y, colours[(x + y) % 5]);
  std::string error;
  ASSERT_TRUE(WriteGif(picture, dir.File("five.gif"), error)) << error;
  GifDecoded gif(dir.File("five.gif"));
  ASSERT_TRUE(gif.Ok());
  EXPECT_EQ(gif.Map()->ColorCount, 256);
  ExpectSamePixels(picture, gif.ToImage());
}

TEST(GifFile, ManyColoursAreReducedToNearPaletteColours) {
  kvtest::TempDir dir;
  const QImage picture = Gradient();
  std::string error;
  ASSERT_TRUE(WriteGif(picture, dir.File("g.gif"), error)) << error;
  GifDecoded gif(dir.File("g.gif"));
  ASSERT_TRUE(gif.Ok());
  EXPECT_EQ(gif.Map()->ColorCount, 256);
  const QImage decoded = gif.ToImage();
  long total = 0;
  int worst = 0;
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) {
      const QRgb a = picture.pixel(x, y);
      const QRgb b = decoded.pixel(x, y);
      const int error1 = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                   std::abs(qBlue(a) - qBlue(b))});
      worst = std::max(worst, error1);
      total += error1;
    }
  EXPECT_LE(worst, 48);
  EXPECT_LE(total / (picture.width() * picture.height()), 16);
}

TEST(ColourQuantiser, KeepsSmallColourSetsAndBoundsLargeOnes) {
  QImage exact(16, 16, QImage::Format_RGB32);
  std::set<tColour> expected;
  for (int i = 0; i < 256; ++i) {
    const QRgb c = qRgb((i * 7) % 256, (i * 13) % 256, i);
    exact.setPixel(i % 16, i / 16, c);
    expected.insert(FromQRgb(c));
  }
  const auto palette = OctreePalette(exact, 256);
  EXPECT_EQ(std::set<tColour>(palette.begin(), palette.end()), expected);

  const auto reduced = OctreePalette(Gradient(), 256);
  EXPECT_LE(reduced.size(), 256u);
  EXPECT_GT(reduced.size(), 64u);
  EXPECT_EQ(OctreePalette(Gradient(), 1).size(), 1u);
}

TEST(ColourQuantiser, NearestIndexPicksTheClosestColour) {
  const std::vector<tColour> palette = {MakeColour(0, 0, 0), MakeColour(255, 255, 255), MakeColour(200, 0, 0)};
  EXPECT_EQ(NearestPaletteIndex(palette, MakeColour(10, 10, 10)), 0);
  EXPECT_EQ(NearestPaletteIndex(palette, MakeColour(250, 240, 250)), 1);
  EXPECT_EQ(NearestPaletteIndex(palette, MakeColour(160, 40, 30)), 2);
}

TEST(PictureFile, ExtensionRuleChoosesTheFormat) {
  EXPECT_EQ(PictureFileName("light"), "light.png");
  EXPECT_EQ(PictureFileName("light.png"), "light.png");
  EXPECT_EQ(PictureFileName("light.GIF"), "light.GIF");
  EXPECT_EQ(PictureFileName("light.jpg"), "light.jpg.png");
  EXPECT_EQ(PictureFileName("pics.gif/light"), "pics.gif/light.png");

  kvtest::TempDir dir;
  const QImage picture = DrawnPicture(40, 20);
  std::string error;
  EXPECT_EQ(WritePictureFile(picture, dir.File("light.GIF"), error), dir.File("light.GIF"));
  EXPECT_EQ(kvtest::ReadFile(dir.File("light.GIF")).substr(0, 3), "GIF");
  EXPECT_EQ(WritePictureFile(picture, dir.File("light.jpg"), error), dir.File("light.jpg.png"));
  EXPECT_EQ(kvtest::ReadFile(dir.File("light.jpg.png")).substr(1, 3), "PNG");
  EXPECT_EQ(WritePictureFile(picture, dir.File("nowhere/light.png"), error), "");
  EXPECT_FALSE(error.empty());
}

class PictureWriteFailure : public testing::Test {
 protected:
  void SetUp() override { kvtest::WriteFile(dir.File("old.png"), "previous picture"); }
  kvtest::TempDir dir;
  QImage picture = DrawnPicture(30, 20);
};

TEST_F(PictureWriteFailure, MissingFolderIsReported) {
  std::string error;
  EXPECT_FALSE(WritePng(picture, dir.File("missing/kvlight.png"), error));
  EXPECT_NE(error.find("missing/kvlight.png"), std::string::npos);
  error.clear();
  EXPECT_FALSE(WriteGif(picture, dir.File("missing/kvlight.gif"), error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
}

TEST_F(PictureWriteFailure, EmptyImageLeavesTheOldFile) {
  std::string error;
  EXPECT_FALSE(WritePng(QImage(), dir.File("old.png"), error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(WriteGif(QImage(), dir.File("old.png"), error));
  EXPECT_EQ(kvtest::ReadFile(dir.File("old.png")), "previous picture");
}

TEST_F(PictureWriteFailure, ReadOnlyFolderLeavesTheOldFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0555), 0);
  std::string error;
  const bool png = WritePng(picture, dir.File("old.png"), error);
  const bool gif = WriteGif(picture, dir.File("old.png"), error);
  ::chmod(dir.Path().c_str(), 0755);
  EXPECT_FALSE(png);
  EXPECT_FALSE(gif);
  EXPECT_EQ(kvtest::ReadFile(dir.File("old.png")), "previous picture");
  EXPECT_EQ(FolderEntries(dir.Path()), std::set<std::string>{"old.png"});
}

TEST_F(PictureWriteFailure, FailedRenameLeavesTheOldEntryAndNoTemporary) {
  // A folder in the way fails even for root, at the last step of the write.
  std::filesystem::create_directory(dir.File("kvlight.png"));
  kvtest::WriteFile(dir.File("kvlight.png/inside"), "kept");
  std::string error;
  EXPECT_FALSE(WritePng(picture, dir.File("kvlight.png"), error));
  EXPECT_FALSE(WriteGif(picture, dir.File("kvlight.png"), error));
  EXPECT_EQ(kvtest::ReadFile(dir.File("kvlight.png/inside")), "kept");
  EXPECT_EQ(FolderEntries(dir.Path()), (std::set<std::string>{"old.png", "kvlight.png"}));
}

TEST_F(PictureWriteFailure, SuccessfulWriteReplacesTheOldFileWhole) {
  std::string error;
  ASSERT_TRUE(WritePng(picture, dir.File("old.png"), error)) << error;
  ExpectSamePixels(picture, QImage(QString::fromStdString(dir.File("old.png"))));
  EXPECT_EQ(FolderEntries(dir.Path()), std::set<std::string>{"old.png"});
}

}  // namespace
}  // namespace kv
