#pragma once
// The banner: a wide, 80-pixel picture of the temperature history of the last SpanBanner hours,
// drawn from the fine series for its window and for the banner file. Main thread only.
#include <QImage>

#include "displays/Canvas.h"
#include "displays/DisplayData.h"

namespace kv {

constexpr int BannerHeight = 80;

// The width and span a drawing uses: the settings, held to what the picture can show whatever a
// hand-edited file says (480 .. 3072 pixels; one minute .. one year).
int BannerDrawWidth(const tSettings& settings);
double BannerDrawSpan(const tSettings& settings);

// Renders the banner of d into image, resizing it to BannerDrawWidth x 80. While the fine series
// holds fewer than two samples nothing is drawn and image keeps its picture. With TAutoBanner on
// the scale it finds is left in TMinBanner and TMaxBanner. Failures are logged, never thrown.
// texts, when given, receives where each text went.
void DrawBanner(QImage& image, const tDisplayData& d, std::vector<tDrawnText>* texts = nullptr);

}  // namespace kv
