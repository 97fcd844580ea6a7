#include "displays/Canvas.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <utility>

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPainter>
#include <QTextBoundaryFinder>

namespace kv {

const char* const FontArial = "Arial";
const char* const FontCourier = "Courier New";
const char* const FontSmall = "Small Fonts";

int Nearest(double x) { return static_cast<int>(std::nearbyint(x)); }

std::string SubstituteFontFamily(const std::string& name) {
  if (name == FontArial) return "Liberation Sans";
  if (name == FontCourier) return "Liberation Mono";
  if (name == FontSmall) return "DejaVu Sans";
  return name;
}

namespace {

constexpr int DefaultCellHeight = 12;

// Cell height (ascent + descent) per pixel of em size; measured once per family and weight.
double CellPerEm(const QFont& base) {
  static std::map<std::pair<QString, bool>, double> cache;
  const auto key = std::make_pair(base.family(), base.bold());
  const auto found = cache.find(key);
  if (found != cache.end()) return found->second;
  QFont probe(base);
  probe.setPixelSize(200);
  const QFontMetricsF metrics(probe);
  double ratio = (metrics.ascent() + metrics.descent()) / 200.0;
  if (!(ratio > 0.5 && ratio < 3.0)) ratio = 1.0;  // a broken font must not explode the size
  cache.emplace(key, ratio);
  return ratio;
}

}  // namespace

QFont UseCrispFont(const tFont& font) {
  QFont q(QString::fromStdString(SubstituteFontFamily(font.name)));
  q.setBold(font.bold);
  q.setStyleStrategy(QFont::NoAntialias);
  q.setHintingPreference(QFont::PreferFullHinting);
  int height = font.height == 0 ? DefaultCellHeight : font.height;
  int pixels = 0;
  if (height < 0) {
    pixels = -height;
  } else {
    pixels = Nearest(height / CellPerEm(q));
  }
  q.setPixelSize(std::max(1, pixels));
  return q;
}

namespace {

tTextCache::tRealised RealiseFont(const tFont& font) {
  tTextCache::tRealised r;
  r.font = UseCrispFont(font);
  const QFontMetrics metrics(r.font);
  r.ascent = metrics.ascent();
  r.lineHeight = metrics.height();
  return r;
}

std::string FontKey(const tFont& font) {
  std::string key = font.name;
  key += '\x1f';
  key += std::to_string(font.height);
  key += font.bold ? 'b' : 'n';
  return key;
}

// The pixels text takes when drawn with font, found by drawing it once in white on black with the
// canvas's own painter settings. Glyphs drawn without anti-aliasing are all or nothing; a text with
// any other pixel (a colour glyph), or one reaching the edge of the trial picture, stays with the
// painter.
void FindGlyphPixels(tTextCache::tRun& run, const QFont& font, int ascent, int lineHeight, const QString& text) {
  using tGlyphs = tTextCache::tRun::tGlyphs;
  run.glyphs = tGlyphs::Painter;
  const int pad = 2 * std::max(lineHeight, 8);
  const int advance = QFontMetrics(font).horizontalAdvance(text);
  const int left = pad + std::max(0, -run.ink.left());
  const int top = pad + std::max({0, -run.ink.top(), ascent});
  const int w = left + std::max({advance, run.ink.right() + 1, 0}) + pad;
  const int h = top + std::max({run.ink.bottom() + 1, lineHeight - ascent, 0}) + pad;
  if (w > INT16_MAX || h > INT16_MAX || static_cast<long>(w) * h > 4'000'000) return;
  QImage trial(w, h, QImage::Format_RGB32);
  constexpr QRgb Off = 0xFF000000u;
  constexpr QRgb On = 0xFFFFFFFFu;
  trial.fill(Off);
  {
    QPainter painter(&trial);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    painter.setFont(font);
    painter.setPen(QColor::fromRgb(On));
    painter.drawText(left, top, text);
  }
  std::vector<tTextCache::tSpan> spans;
  for (int y = 0; y < h; ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(trial.constScanLine(y));
    for (int x = 0; x < w;) {
      if (row[x] == Off) {
        ++x;
        continue;
      }
      if (row[x] != On || y == 0 || y == h - 1 || x == 0) return;
      const int start = x;
      while (x < w && row[x] == On) ++x;
      if (x == w) return;
      spans.push_back({static_cast<std::int16_t>(y - top), static_cast<std::int16_t>(start - left),
                       static_cast<std::int16_t>(x - left)});
    }
  }
  run.spans = std::move(spans);
  run.glyphs = tGlyphs::Spans;
}

}  // namespace

const tTextCache::tRealised& tTextCache::Realised(const tFont& font) {
  const std::string key = FontKey(font);
  const auto found = fonts_.find(key);
  if (found != fonts_.end()) return found->second;
  if (fonts_.size() >= 64) fonts_.clear();  // a handful of fonts in use; never grows without end
  return fonts_.emplace(key, RealiseFont(font)).first->second;
}

tTextCache::tRun& tTextCache::Run(const tFont& font, const QFont& realised, const std::string& text) {
  std::string key = FontKey(font);
  key += '\x1f';
  key += text;
  const auto found = recent_.find(key);
  if (found != recent_.end()) return found->second;
  tRun run;
  const auto old = older_.find(key);
  if (old != older_.end()) {
    run = std::move(old->second);
    older_.erase(old);
  } else {
    run.ink = QFontMetrics(realised).tightBoundingRect(QString::fromStdString(text));
  }
  // Two generations: when the recent one is full it becomes the older one, and what was older
  // and not used since goes.
  if (recent_.size() >= capacity_ / 2) {
    older_ = std::move(recent_);
    recent_.clear();
  }
  return recent_.emplace(std::move(key), std::move(run)).first->second;
}

Canvas::Canvas(QImage& image, tTextCache* textCache) : image_(image), textCache_(textCache) {
  if (!image_.isNull() && image_.format() != QImage::Format_RGB32) {
    image_ = image_.convertToFormat(QImage::Format_RGB32);
  }
  Realise();
}

Canvas::tSurface Canvas::Surface() {
  tSurface s;
  if (image_.isNull()) return s;
  s.bits = reinterpret_cast<QRgb*>(image_.bits());
  s.stride = image_.bytesPerLine() / static_cast<qsizetype>(sizeof(QRgb));
  s.w = image_.width();
  s.h = image_.height();
  return s;
}

void Canvas::Resize(int width, int height) {
  width = std::max(0, width);
  height = std::max(0, height);
  if (width == image_.width() && height == image_.height() && !image_.isNull()) return;
  QImage resized(width, height, QImage::Format_RGB32);
  resized.fill(0xFF000000u);
  const int keepW = std::min(width, image_.width());
  const int keepH = std::min(height, image_.height());
  for (int y = 0; y < keepH; ++y) {
    std::memcpy(resized.scanLine(y), image_.constScanLine(y), static_cast<size_t>(keepW) * 4);
  }
  image_ = resized;
}

void Canvas::Realise() {
  const tTextCache::tRealised r = textCache_ != nullptr ? textCache_->Realised(font_) : RealiseFont(font_);
  qfont_ = r.font;
  ascent_ = r.ascent;
  lineHeight_ = r.lineHeight;
}

// Drawing code sets the font per band and per row; a change of colour alone, or a font that is
// already set, keeps the realised font.
void Canvas::SetFont(const tFont& font) {
  const bool same = font.name == font_.name && font.height == font_.height && font.bold == font_.bold;
  font_ = font;
  if (!same) Realise();
}

void Canvas::SetFontHeight(int height) {
  if (height == font_.height) return;
  font_.height = height;
  Realise();
}

void Canvas::SetFontBold(bool bold) {
  if (bold == font_.bold) return;
  font_.bold = bold;
  Realise();
}

void Canvas::PenPixel(const tSurface& s, int x, int y) {
  const bool on = penStyle == tPenStyle::Solid || (penStyle == tPenStyle::Dot && dotPhase_ % 2 == 0);
  ++dotPhase_;
  if (on && s.Inside(x, y)) s.Row(y)[x] = ToQRgb(penColour);
}

void Canvas::FillSpan(const tSurface& s, int y, int x1, int x2, QRgb colour) {
  if (y < 0 || y >= s.h) return;
  x1 = std::max(x1, 0);
  x2 = std::min(x2, s.w);
  if (x1 >= x2) return;
  QRgb* row = s.Row(y);
  std::fill(row + x1, row + x2, colour);
}

void Canvas::Fill(const tSurface& s, int l, int t, int r, int b, QRgb colour) {
  l = std::max(l, 0);
  r = std::min(r, s.w);
  if (l >= r) return;
  for (int y = std::max(t, 0); y < std::min(b, s.h); ++y) std::fill(s.Row(y) + l, s.Row(y) + r, colour);
}

void Canvas::Rectangle(int l, int t, int r, int b) {
  if (r < l) std::swap(l, r);
  if (b < t) std::swap(t, b);
  const tSurface s = Surface();
  if (penStyle == tPenStyle::Clear) {
    if (brushStyle == tBrushStyle::Solid) Fill(s, l, t, r - 1, b - 1, ToQRgb(brushColour));
    return;
  }
  if (r - l < 1 || b - t < 1) return;
  if (brushStyle == tBrushStyle::Solid) Fill(s, l + 1, t + 1, r - 1, b - 1, ToQRgb(brushColour));
  // The outline as one closed figure, so a dotted pattern runs round the corners.
  MoveTo(l, t);
  Segment(s, r - 1, t);
  Segment(s, r - 1, b - 1);
  Segment(s, l, b - 1);
  Segment(s, l, t);
  if (r - l == 1 && b - t == 1) PenPixel(s, l, t);  // every side has length 0
}

void Canvas::FillRect(int l, int t, int r, int b) { Fill(Surface(), l, t, r, b, ToQRgb(brushColour)); }

void Canvas::RoundRect(int l, int t, int r, int b, int ew, int eh) {
  if (r < l) std::swap(l, r);
  if (b < t) std::swap(t, b);
  if (r - l < 1 || b - t < 1) return;
  const tSurface s = Surface();
  // Corner radii, at most half the rectangle.
  const double rw = std::min(std::abs(ew) / 2.0, (r - l) / 2.0);
  const double rh = std::min(std::abs(eh) / 2.0, (b - t) / 2.0);
  // Per row the covered span [first, last): a pixel belongs to the shape when its centre lies
  // inside the rounded outline.
  std::vector<std::pair<int, int>> spans;
  spans.reserve(static_cast<size_t>(b - t));
  for (int y = t; y < b; ++y) {
    const double py = y + 0.5;
    double dy = 0;
    if (py < t + rh) dy = t + rh - py;
    else if (py > b - rh) dy = py - (b - rh);
    int first = l;
    int last = r;
    if (dy > 0 && rw > 0 && rh > 0) {
      const double q = dy / rh;
      const double hw = rw * std::sqrt(std::max(0.0, 1.0 - q * q));
      first = static_cast<int>(std::ceil(l + rw - hw - 0.5));
      last = static_cast<int>(std::floor(r - rw + hw - 0.5)) + 1;
    }
    spans.emplace_back(first, std::max(first, last));
  }
  const bool pen = penStyle != tPenStyle::Clear;
  const QRgb brush = ToQRgb(brushColour);
  const QRgb penRgb = ToQRgb(penColour);
  for (int i = 0; i < static_cast<int>(spans.size()); ++i) {
    const auto [first, last] = spans[static_cast<size_t>(i)];
    const int y = t + i;
    if (brushStyle == tBrushStyle::Solid) FillSpan(s, y, first, last, brush);
    if (!pen) continue;
    const bool edgeRow = i == 0 || i + 1 == static_cast<int>(spans.size());
    for (int x = first; x < last; ++x) {
      bool boundary = edgeRow || x == first || x == last - 1;
      if (!boundary) {
        const auto& above = spans[static_cast<size_t>(i - 1)];
        const auto& below = spans[static_cast<size_t>(i + 1)];
        boundary = x < above.first || x >= above.second || x < below.first || x >= below.second;
      }
      // Rounded outlines are drawn solid; a dotted pattern has no defined order along them.
      if (boundary && s.Inside(x, y)) s.Row(y)[x] = penRgb;
    }
  }
}

void Canvas::Polygon(const std::vector<tPoint>& points) {
  if (points.empty()) return;
  const tSurface s = Surface();
  if (brushStyle == tBrushStyle::Solid && points.size() >= 3) {
    // The non-horizontal edges, by their first row; a row y meets an edge when lo <= y < hi.
    struct tEdge {
      tPoint a, c;  // in the polygon's own order, so every crossing is computed as before
      int lo, hi;
    };
    std::vector<tEdge> edges;
    edges.reserve(points.size());
    int top = points[0].y;
    int bottom = points[0].y;
    for (size_t i = 0; i < points.size(); ++i) {
      const tPoint& a = points[i];
      const tPoint& c = points[(i + 1) % points.size()];
      top = std::min(top, a.y);
      bottom = std::max(bottom, a.y);
      if (a.y != c.y) edges.push_back({a, c, std::min(a.y, c.y), std::max(a.y, c.y)});
    }
    std::sort(edges.begin(), edges.end(), [](const tEdge& p, const tEdge& q) { return p.lo < q.lo; });
    top = std::max(top, 0);
    bottom = std::min(bottom, s.h);
    const QRgb brush = ToQRgb(brushColour);
    std::vector<const tEdge*> active;
    std::vector<double> crossings;
    size_t next = 0;
    for (int y = top; y < bottom; ++y) {
      while (next < edges.size() && edges[next].lo <= y) active.push_back(&edges[next++]);
      std::erase_if(active, [y](const tEdge* e) { return e->hi <= y; });
      const double cy = y + 0.5;
      crossings.clear();
      for (const tEdge* e : active)
        crossings.push_back(e->a.x + (cy - e->a.y) * (e->c.x - e->a.x) / static_cast<double>(e->c.y - e->a.y));
      std::sort(crossings.begin(), crossings.end());
      // Alternate rule: inside between the first and second crossing, the third and fourth, ...
      for (size_t i = 0; i + 1 < crossings.size(); i += 2) {
        const int x1 = static_cast<int>(std::ceil(crossings[i] - 0.5));
        const int x2 = static_cast<int>(std::ceil(crossings[i + 1] - 0.5));
        FillSpan(s, y, x1, x2, brush);
      }
    }
  }
  if (penStyle == tPenStyle::Clear) return;
  MoveTo(points[0].x, points[0].y);
  for (size_t i = 1; i < points.size(); ++i) Segment(s, points[i].x, points[i].y);
  Segment(s, points[0].x, points[0].y);
  if (points.size() == 1) PenPixel(s, points[0].x, points[0].y);
}

void Canvas::MoveTo(int x, int y) {
  penX_ = x;
  penY_ = y;
  dotPhase_ = 0;
}

void Canvas::LineTo(int x, int y) {
  if (penStyle == tPenStyle::Clear) {
    penX_ = x;
    penY_ = y;
    return;
  }
  Segment(Surface(), x, y);
}

// Steps along the major axis; the minor coordinate is the exact line's rounded from below
// ((2 i d + D) / 2D), kept as a running quotient and remainder. Only the steps whose major
// coordinate lies inside the image are walked; the dotted pattern still counts every step.
void Canvas::Segment(const tSurface& s, int x, int y) {
  const long x0 = penX_, y0 = penY_;
  penX_ = x;
  penY_ = y;
  if (penStyle == tPenStyle::Clear) return;
  const long dx = std::abs(x - x0), dy = std::abs(y - y0);
  const long sx = x >= x0 ? 1 : -1, sy = y >= y0 ? 1 : -1;
  const bool xMajor = dx >= dy;
  const long steps = xMajor ? dx : dy;
  const long phase = dotPhase_;
  dotPhase_ += steps;
  if (steps == 0 || s.bits == nullptr) return;
  const long major0 = xMajor ? x0 : y0, minor0 = xMajor ? y0 : x0;
  const long smajor = xMajor ? sx : sy, sminor = xMajor ? sy : sx;
  const long dmajor = xMajor ? dx : dy, dminor = xMajor ? dy : dx;
  const long majorLimit = xMajor ? s.w : s.h, minorLimit = xMajor ? s.h : s.w;
  // Steps i with 0 <= major0 + smajor * i < majorLimit.
  long first = 0, last = steps;
  if (smajor > 0) {
    first = std::max(first, -major0);
    last = std::min(last, majorLimit - major0);
  } else {
    first = std::max(first, major0 - majorLimit + 1);
    last = std::min(last, major0 + 1);
  }
  if (first >= last) return;
  const QRgb colour = ToQRgb(penColour);
  const bool dotted = penStyle == tPenStyle::Dot;
  // Dotted: only steps where phase + i is even are drawn.
  const long stride = dotted ? 2 : 1;
  if (dotted && (phase + first) % 2 != 0) ++first;
  if (first >= last) return;
  const qsizetype pitch = s.stride;
  const long twoD = 2 * dmajor, twoDm = 2 * dminor;
  if (dminor == 0) {  // a straight row or column
    if (minor0 < 0 || minor0 >= minorLimit) return;
    if (xMajor) {
      QRgb* row = s.Row(static_cast<int>(minor0));
      if (!dotted) {
        const long a = smajor > 0 ? major0 + first : major0 - (last - 1);
        std::fill(row + a, row + a + (last - first), colour);
      } else {
        for (long i = first; i < last; i += 2) row[major0 + smajor * i] = colour;
      }
    } else {
      QRgb* p = s.bits + minor0;
      for (long i = first; i < last; i += stride) p[(major0 + smajor * i) * pitch] = colour;
    }
    return;
  }
  const long num = 2 * first * dminor + dmajor;
  long minor = num / twoD, rem = num % twoD;
  const long stepRem = stride * twoDm;
  for (long i = first; i < last; i += stride) {
    const long mj = major0 + smajor * i, mn = minor0 + sminor * minor;
    if (mn >= 0 && mn < minorLimit) {
      if (xMajor) s.bits[mn * pitch + mj] = colour;
      else s.bits[mj * pitch + mn] = colour;
    }
    rem += stepRem;
    while (rem >= twoD) {
      rem -= twoD;
      ++minor;
    }
  }
}

void Canvas::Polyline(const std::vector<tPoint>& points) {
  if (points.empty()) return;
  MoveTo(points[0].x, points[0].y);
  if (penStyle == tPenStyle::Clear) {
    penX_ = points.back().x;
    penY_ = points.back().y;
    return;
  }
  const tSurface s = Surface();
  for (size_t i = 1; i < points.size(); ++i) Segment(s, points[i].x, points[i].y);
}

void Canvas::SetPixel(int x, int y, tColour colour) {
  if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) return;
  const tSurface s = Surface();
  s.Row(y)[x] = ToQRgb(colour);
}

tColour Canvas::GetPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) return ClrInvalid;
  return FromQRgb(reinterpret_cast<const QRgb*>(image_.constScanLine(y))[x]);
}

void Canvas::Draw(int x, int y, const QImage& picture) {
  if (picture.isNull() || image_.isNull()) return;
  QPainter painter(&image_);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter.drawImage(x, y, picture);
}

void Canvas::DrawText(int x, int y, const std::string& text, const QRect* clip, int left, int right,
                      bool watermark) {
  if (text.empty() || image_.isNull()) return;
  if (drawnTexts != nullptr) drawnTexts->push_back({text, InkRect(x, y, text), left, right, watermark});
  if (textCache_ != nullptr) {
    using tGlyphs = tTextCache::tRun::tGlyphs;
    tTextCache::tRun& run = textCache_->Run(font_, qfont_, text);
    if (run.glyphs == tGlyphs::Unknown) FindGlyphPixels(run, qfont_, ascent_, lineHeight_, QString::fromStdString(text));
    if (run.glyphs == tGlyphs::Spans) {
      const tSurface s = Surface();
      QRect area(0, 0, s.w, s.h);
      if (clip != nullptr) area &= *clip;
      const QRgb colour = ToQRgb(font_.colour);
      const int baseline = y + ascent_;
      for (const tTextCache::tSpan& span : run.spans) {
        const int row = baseline + span.dy;
        if (row < area.top() || row > area.bottom()) continue;
        const int x1 = std::max(x + span.x1, area.left());
        const int x2 = std::min(x + span.x2, area.right() + 1);
        if (x1 < x2) std::fill(s.Row(row) + x1, s.Row(row) + x2, colour);
      }
      return;
    }
  }
  const QString q = QString::fromStdString(text);
  QPainter painter(&image_);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setRenderHint(QPainter::TextAntialiasing, false);
  if (clip != nullptr) painter.setClipRect(*clip);
  painter.setFont(qfont_);
  painter.setPen(QColor::fromRgb(ToQRgb(font_.colour)));
  painter.drawText(x, y + ascent_, q);
}

QRect Canvas::InkRect(int x, int y, const std::string& text) const {
  if (text.empty()) return {};
  if (textCache_ != nullptr) return textCache_->Run(font_, qfont_, text).ink.translated(x, y + ascent_);
  return QFontMetrics(qfont_).tightBoundingRect(QString::fromStdString(text)).translated(x, y + ascent_);
}

std::string Canvas::Elided(int x, int r, const std::string& text) const {
  const auto fits = [&](const QString& s) { return InkRect(x, 0, s.toStdString()).right() < r; };
  QString q = QString::fromStdString(text);
  if (fits(q)) return text;
  // Cut whole characters (a letter with its marks, a surrogate pair), never bytes of one.
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, q);
  finder.toEnd();
  while (finder.toPreviousBoundary() > 0) {
    const QString shorter = q.left(finder.position()).trimmed() + QChar(0x2026);
    if (fits(shorter)) return shorter.toStdString();
  }
  return {};  // not even the ellipsis has room
}

void Canvas::TextOut(int x, int y, const std::string& text) { DrawText(x, y, text, nullptr, 0, Width()); }

void Canvas::Watermark(int x, int y, const std::string& text) { DrawText(x, y, text, nullptr, 0, Width(), true); }

void Canvas::TextRect(int l, int t, int r, int b, int x, int y, const std::string& text) {
  if (r <= l || b <= t) return;
  const QRect clip(l, t, r - l, b - t);
  DrawText(x, y, Elided(x, r, text), &clip, l, r);
}

void Canvas::FitText(int l, int r, int x, int y, const std::string& text, int smallerSteps, bool alignRight,
                     int rowTop, int rowBottom) {
  if (text.empty() || r <= l) return;
  const tFont original = font_;
  const int baseline = y + ascent_;
  const auto place = [&] { return alignRight ? r - 1 - InkRect(0, 0, text).right() : x; };
  const auto fits = [&](const QRect& ink) {
    return ink.left() >= l && ink.right() < r && ink.top() >= rowTop && ink.bottom() < rowBottom;
  };
  for (int step = 1; step <= smallerSteps; ++step) {
    if (fits(InkRect(place(), baseline - ascent_, text))) break;
    tFont smaller = original;
    const int height = original.height == 0 ? 12 : original.height;
    smaller.height = height > 0 ? height - step : height + step;
    if (smaller.height == 0) break;
    SetFont(smaller);
  }
  const int top = baseline - ascent_;  // the smaller font sits on the same baseline
  int at = place();
  std::string shown = text;
  const QRect ink = InkRect(at, top, text);
  if (ink.left() < l || ink.right() >= r) {
    if (alignRight) at = std::max(l, at);
    shown = Elided(at, r, text);
  }
  DrawText(at, top, shown, nullptr, l, r);
  SetFont(original);
}

int Canvas::TextWidth(const std::string& text) const {
  if (textCache_ != nullptr) {
    tTextCache::tRun& run = textCache_->Run(font_, qfont_, text);
    if (run.advance == INT_MIN) run.advance = QFontMetrics(qfont_).horizontalAdvance(QString::fromStdString(text));
    return run.advance;
  }
  return QFontMetrics(qfont_).horizontalAdvance(QString::fromStdString(text));
}

int Canvas::TextHeight(const std::string& /*text*/) const { return lineHeight_; }

}  // namespace kv
