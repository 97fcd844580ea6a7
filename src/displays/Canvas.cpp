#include "displays/Canvas.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <utility>

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPainter>

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

Canvas::Canvas(QImage& image) : image_(image) {
  if (!image_.isNull() && image_.format() != QImage::Format_RGB32) {
    image_ = image_.convertToFormat(QImage::Format_RGB32);
  }
  qfont_ = UseCrispFont(font_);
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

void Canvas::SetFont(const tFont& font) {
  font_ = font;
  qfont_ = UseCrispFont(font_);
}

void Canvas::SetFontName(const std::string& name) {
  font_.name = name;
  qfont_ = UseCrispFont(font_);
}

void Canvas::SetFontHeight(int height) {
  font_.height = height;
  qfont_ = UseCrispFont(font_);
}

void Canvas::SetFontBold(bool bold) {
  font_.bold = bold;
  qfont_ = UseCrispFont(font_);
}

void Canvas::Plot(int x, int y, QRgb colour) {
  if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) return;
  reinterpret_cast<QRgb*>(image_.scanLine(y))[x] = colour;
}

void Canvas::PenPixel(int x, int y) {
  const bool on = penStyle == tPenStyle::Solid || (penStyle == tPenStyle::Dot && dotPhase_ % 2 == 0);
  ++dotPhase_;
  if (on) Plot(x, y, ToQRgb(penColour));
}

void Canvas::FillSpan(int y, int x1, int x2, QRgb colour) {
  if (y < 0 || y >= image_.height()) return;
  x1 = std::max(x1, 0);
  x2 = std::min(x2, image_.width());
  if (x1 >= x2) return;
  QRgb* row = reinterpret_cast<QRgb*>(image_.scanLine(y));
  std::fill(row + x1, row + x2, colour);
}

void Canvas::Rectangle(int l, int t, int r, int b) {
  if (r < l) std::swap(l, r);
  if (b < t) std::swap(t, b);
  if (penStyle == tPenStyle::Clear) {
    if (brushStyle == tBrushStyle::Solid) FillRect(l, t, r - 1, b - 1);
    return;
  }
  if (r - l < 1 || b - t < 1) return;
  if (brushStyle == tBrushStyle::Solid) FillRect(l + 1, t + 1, r - 1, b - 1);
  // The outline as one closed figure, so a dotted pattern runs round the corners.
  MoveTo(l, t);
  LineTo(r - 1, t);
  LineTo(r - 1, b - 1);
  LineTo(l, b - 1);
  LineTo(l, t);
  if (r - l == 1 && b - t == 1) PenPixel(l, t);  // every side has length 0
}

void Canvas::FillRect(int l, int t, int r, int b) {
  const QRgb colour = ToQRgb(brushColour);
  for (int y = std::max(t, 0); y < std::min(b, image_.height()); ++y) FillSpan(y, l, r, colour);
}

void Canvas::RoundRect(int l, int t, int r, int b, int ew, int eh) {
  if (r < l) std::swap(l, r);
  if (b < t) std::swap(t, b);
  if (r - l < 1 || b - t < 1) return;
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
    if (brushStyle == tBrushStyle::Solid) FillSpan(y, first, last, brush);
    if (!pen) continue;
    const bool edgeRow = i == 0 || i + 1 == static_cast<int>(spans.size());
    for (int x = first; x < last; ++x) {
      bool boundary = edgeRow || x == first || x == last - 1;
      if (!boundary) {
        const auto& above = spans[static_cast<size_t>(i - 1)];
        const auto& below = spans[static_cast<size_t>(i + 1)];
        boundary = x < above.first || x >= above.second || x < below.first || x >= below.second;
      }
      if (!boundary) continue;
      // Rounded outlines are drawn solid; a dotted pattern has no defined order along them.
      Plot(x, y, penRgb);
    }
  }
}

void Canvas::Polygon(const std::vector<tPoint>& points) {
  if (points.empty()) return;
  if (brushStyle == tBrushStyle::Solid && points.size() >= 3) {
    int top = points[0].y;
    int bottom = points[0].y;
    for (const tPoint& p : points) {
      top = std::min(top, p.y);
      bottom = std::max(bottom, p.y);
    }
    top = std::max(top, 0);
    bottom = std::min(bottom, image_.height());
    const QRgb brush = ToQRgb(brushColour);
    std::vector<double> crossings;
    for (int y = top; y < bottom; ++y) {
      const double cy = y + 0.5;
      crossings.clear();
      for (size_t i = 0; i < points.size(); ++i) {
        const tPoint& a = points[i];
        const tPoint& c = points[(i + 1) % points.size()];
        if (a.y == c.y) continue;
        const double lo = std::min(a.y, c.y);
        const double hi = std::max(a.y, c.y);
        if (cy < lo || cy >= hi) continue;
        crossings.push_back(a.x + (cy - a.y) * (c.x - a.x) / static_cast<double>(c.y - a.y));
      }
      std::sort(crossings.begin(), crossings.end());
      // Alternate rule: inside between the first and second crossing, the third and fourth, ...
      for (size_t i = 0; i + 1 < crossings.size(); i += 2) {
        const int x1 = static_cast<int>(std::ceil(crossings[i] - 0.5));
        const int x2 = static_cast<int>(std::ceil(crossings[i + 1] - 0.5));
        FillSpan(y, x1, x2, brush);
      }
    }
  }
  if (penStyle == tPenStyle::Clear) return;
  MoveTo(points[0].x, points[0].y);
  for (size_t i = 1; i < points.size(); ++i) LineTo(points[i].x, points[i].y);
  LineTo(points[0].x, points[0].y);
  if (points.size() == 1) PenPixel(points[0].x, points[0].y);
}

void Canvas::MoveTo(int x, int y) {
  penX_ = x;
  penY_ = y;
  dotPhase_ = 0;
}

void Canvas::LineTo(int x, int y) {
  const int dx = std::abs(x - penX_);
  const int dy = std::abs(y - penY_);
  const int sx = x >= penX_ ? 1 : -1;
  const int sy = y >= penY_ ? 1 : -1;
  if (penStyle != tPenStyle::Clear) {
    // Steps along the major axis; the minor coordinate is rounded from the exact line.
    if (dx >= dy) {
      for (int i = 0; i < dx; ++i) {
        const int minor = static_cast<int>((2L * i * dy + dx) / (2L * dx));
        PenPixel(penX_ + sx * i, penY_ + sy * minor);
      }
    } else {
      for (int i = 0; i < dy; ++i) {
        const int minor = static_cast<int>((2L * i * dx + dy) / (2L * dy));
        PenPixel(penX_ + sx * minor, penY_ + sy * i);
      }
    }
  }
  penX_ = x;
  penY_ = y;
}

void Canvas::Polyline(const std::vector<tPoint>& points) {
  if (points.empty()) return;
  MoveTo(points[0].x, points[0].y);
  for (size_t i = 1; i < points.size(); ++i) LineTo(points[i].x, points[i].y);
}

void Canvas::SetPixel(int x, int y, tColour colour) { Plot(x, y, ToQRgb(colour)); }

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

void Canvas::DrawText(int x, int y, const std::string& text, const QRect* clip) {
  if (text.empty() || image_.isNull()) return;
  QPainter painter(&image_);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setRenderHint(QPainter::TextAntialiasing, false);
  if (clip != nullptr) painter.setClipRect(*clip);
  painter.setFont(qfont_);
  painter.setPen(QColor::fromRgb(ToQRgb(font_.colour)));
  const QFontMetrics metrics(qfont_);
  painter.drawText(x, y + metrics.ascent(), QString::fromStdString(text));
}

void Canvas::TextOut(int x, int y, const std::string& text) { DrawText(x, y, text, nullptr); }

void Canvas::TextRect(int l, int t, int r, int b, int x, int y, const std::string& text) {
  if (r <= l || b <= t) return;
  const QRect clip(l, t, r - l, b - t);
  DrawText(x, y, text, &clip);
}

int Canvas::TextWidth(const std::string& text) const {
  return QFontMetrics(qfont_).horizontalAdvance(QString::fromStdString(text));
}

int Canvas::TextHeight(const std::string& /*text*/) const { return QFontMetrics(qfont_).height(); }

}  // namespace kv
