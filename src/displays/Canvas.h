#pragma once
// The drawing surface of the light, the banner and the chart: a 32-bit QImage with the device
// rules all drawing code in this program is written against.
//
//  - Coordinates are pixel positions; x grows right, y grows down.
//  - Rectangles (l, t, r, b) cover l <= X < r and t <= Y < b: right and bottom edges are exclusive.
//  - Lines cover every pixel from the start up to, but not including, the end point.
//  - Pens are one pixel wide. A dotted pen draws every other pixel, starting with the first; the
//    pattern runs on across LineTo and polyline joints and restarts at MoveTo. Gaps stay untouched.
//  - Text is always drawn on a transparent background, without anti-aliasing.
//  - Colours are 0x00BBGGRR values (tColour); anything outside the image is clipped.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include <QFont>
#include <QRect>
#include <QImage>

namespace kv {

using tColour = std::uint32_t;  // 0x00BBGGRR

// What GetPixel answers outside the image; its colour bytes read as white.
constexpr tColour ClrInvalid = 0xFFFFFFFF;

constexpr tColour MakeColour(int r, int g, int b) {
  return static_cast<tColour>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int RedOf(tColour c) { return static_cast<int>(c & 0xFF); }
constexpr int GreenOf(tColour c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int BlueOf(tColour c) { return static_cast<int>((c >> 16) & 0xFF); }

// The one conversion between the program's colour values and QImage pixels.
constexpr QRgb ToQRgb(tColour c) {
  return 0xFF000000u | (static_cast<QRgb>(RedOf(c)) << 16) | (static_cast<QRgb>(GreenOf(c)) << 8) |
         static_cast<QRgb>(BlueOf(c));
}
constexpr tColour FromQRgb(QRgb p) { return MakeColour(qRed(p), qGreen(p), qBlue(p)); }

// x rounded to the nearest integer, ties to even.
int Nearest(double x);

// The three font families every picture uses, by the names the settings and layouts know.
extern const char* const FontArial;    // "Arial"
extern const char* const FontCourier;  // "Courier New"
extern const char* const FontSmall;    // "Small Fonts"

// The installed family drawn for a font name: "Arial" -> Liberation Sans, "Courier New" ->
// Liberation Mono, "Small Fonts" -> DejaVu Sans; other names are passed on unchanged.
std::string SubstituteFontFamily(const std::string& name);

struct tFont {
  std::string name = FontArial;
  // Positive: cell height (ascent + descent) in pixels. Negative: character (em) height.
  // 0 means the default cell height 12.
  int height = 12;
  bool bold = false;
  tColour colour = 0;
};

// Realises a font for drawing: substituted family, pixel size from the height rule above, and no
// anti-aliasing. Every font change on a canvas goes through here.
QFont UseCrispFont(const tFont& font);

// One drawn text: the pixels its glyphs cover and the columns it was given (the image's width
// for plain TextOut).
struct tDrawnText {
  std::string text;
  QRect ink;
  int left = 0, right = 0;
  bool watermark = false;  // faint background figures that other texts may cover
};

// Texts laid out once per font: a chart redrawn every second shows mostly the texts of the last
// second, and shaping them again is most of the cost of a redraw. Owned by whoever redraws the
// same picture over and over, and handed to its canvas; bounded, the least recently used half
// goes first.
class tTextCache {
 public:
  explicit tTextCache(size_t capacity = 2048) : capacity_(std::max<size_t>(capacity, 2)) {}

  struct tRealised {
    QFont font;
    int ascent = 0;
    int lineHeight = 0;
  };
  // The pixels of a text as runs on rows, from its origin on the baseline.
  struct tSpan {
    std::int16_t dy, x1, x2;
  };
  struct tRun {
    QRect ink;             // from the origin on the baseline
    int advance = INT_MIN;  // INT_MIN until asked
    enum class tGlyphs { Unknown, Spans, Painter } glyphs = tGlyphs::Unknown;
    std::vector<tSpan> spans;  // with Spans; Painter: only a painter draws it as it is
  };

  const tRealised& Realised(const tFont& font);
  // The entry of text in font (realised as realised); valid until the next call.
  tRun& Run(const tFont& font, const QFont& realised, const std::string& text);
  size_t Size() const { return recent_.size() + older_.size(); }

 private:
  size_t capacity_;
  std::unordered_map<std::string, tRealised> fonts_;
  std::unordered_map<std::string, tRun> recent_, older_;
};

enum class tPenStyle { Solid, Dot, Clear };
enum class tBrushStyle { Solid, Clear };

struct tPoint {
  int x = 0;
  int y = 0;
};

class Canvas {
 public:
  // Draws into image, which is converted to Format_RGB32 when it has another format. With a
  // cache, texts laid out before are drawn from it, to the same pixels.
  explicit Canvas(QImage& image, tTextCache* textCache = nullptr);

  QImage& Image() { return image_; }
  const QImage& Image() const { return image_; }
  int Width() const { return image_.width(); }
  int Height() const { return image_.height(); }
  // Changes the bitmap size; the overlapping top-left part is kept, new pixels are black.
  void Resize(int width, int height);

  // Pen: outlines and lines.
  tColour penColour = 0;
  tPenStyle penStyle = tPenStyle::Solid;
  // Brush: fills of rectangles, rounded rectangles and polygons.
  tColour brushColour = 0xFFFFFF;
  tBrushStyle brushStyle = tBrushStyle::Solid;

  // Font: every change re-realises it crisp.
  void SetFont(const tFont& font);
  void SetFontHeight(int height);
  void SetFontBold(bool bold);
  void SetFontColour(tColour colour) { font_.colour = colour; }
  const tFont& Font() const { return font_; }

  // Filled with the brush and outlined with the pen; with a clear pen the fill stops one pixel
  // short on the right and bottom, as there is no outline to take that place.
  void Rectangle(int l, int t, int r, int b);
  // Fills l <= X < r, t <= Y < b with the brush colour, whatever the brush style.
  void FillRect(int l, int t, int r, int b);
  // A rectangle whose corners are quarters of an ellipse ew wide and eh high.
  void RoundRect(int l, int t, int r, int b, int ew, int eh);
  // Filled (alternate rule, pixel centres inside) and outlined as a closed figure.
  void Polygon(const std::vector<tPoint>& points);

  void MoveTo(int x, int y);
  void LineTo(int x, int y);  // end point excluded; it becomes the current position
  void Line(int x1, int y1, int x2, int y2) { MoveTo(x1, y1); LineTo(x2, y2); }
  void Polyline(const std::vector<tPoint>& points);  // the last point is excluded

  void SetPixel(int x, int y, tColour colour);
  tColour GetPixel(int x, int y) const;  // ClrInvalid outside the image

  // Draws a picture (an icon) with its alpha channel over the canvas.
  void Draw(int x, int y, const QImage& picture);

  // Text with its cell's top-left corner at (x, y), in the font colour.
  void TextOut(int x, int y, const std::string& text);
  // The same for a faint background figure (the clock marks) that texts are drawn over.
  void Watermark(int x, int y, const std::string& text);
  // The same, clipped to l <= X < r, t <= Y < b; a text whose ink would cross r is shortened
  // with an ellipsis first, so no letter is cut in half.
  void TextRect(int l, int t, int r, int b, int x, int y, const std::string& text);
  // Text at (x, y) whose ink stays within l <= X < r (and rowTop <= Y < rowBottom): one too big
  // is drawn up to smallerSteps pixels smaller on the same baseline (the font returns
  // afterwards), then shortened with an ellipsis. With alignRight the text ends at r instead
  // and x is ignored.
  void FitText(int l, int r, int x, int y, const std::string& text, int smallerSteps = 0, bool alignRight = false,
               int rowTop = INT_MIN, int rowBottom = INT_MAX);
  int Ascent() const { return ascent_; }
  int Descent() const { return lineHeight_ - ascent_; }
  int TextWidth(const std::string& text) const;
  int TextHeight(const std::string& text) const;
  // The pixels the text's glyphs cover when drawn at (x, y), by the metrics of the current font.
  QRect InkRect(int x, int y, const std::string& text) const;

  // Where each text went, when set. Overlays that outline the cells and layout checks read it.
  std::vector<tDrawnText>* drawnTexts = nullptr;

 private:
  // The pixels of image_, taken once per drawing call: taking them detaches a shared image, so a
  // copy someone made between two calls keeps its own pixels.
  struct tSurface {
    QRgb* bits = nullptr;
    qsizetype stride = 0;  // pixels per row
    int w = 0;
    int h = 0;
    bool Inside(long x, long y) const { return x >= 0 && y >= 0 && x < w && y < h; }
    QRgb* Row(int y) const { return bits + y * stride; }
  };
  tSurface Surface();

  void PenPixel(const tSurface& s, int x, int y);
  void FillSpan(const tSurface& s, int y, int x1, int x2, QRgb colour);  // x1 <= X < x2
  void Fill(const tSurface& s, int l, int t, int r, int b, QRgb colour);
  void Segment(const tSurface& s, int x, int y);  // LineTo on a taken surface
  void Realise();                                 // qfont_ and its metrics from font_
  void DrawText(int x, int y, const std::string& text, const QRect* clip, int left, int right,
                bool watermark = false);
  // text, shortened with an ellipsis until its ink drawn at x ends before r.
  std::string Elided(int x, int r, const std::string& text) const;

  QImage& image_;
  tTextCache* textCache_;
  tFont font_;
  QFont qfont_;
  int ascent_ = 0;
  int lineHeight_ = 0;
  int penX_ = 0;
  int penY_ = 0;
  long dotPhase_ = 0;  // pixels drawn since MoveTo, for the dotted pattern
};

}  // namespace kv
