#pragma once
// The light: a tall 110-pixel picture of the current readings (or the 80 x 80 mini light),
// drawn for its window and for the light file. Main thread only.
#include <QImage>
#include <optional>
#include <string>
#include <vector>

#include "displays/Canvas.h"
#include "displays/DisplayData.h"

namespace kv {

extern const char* const ProductWebSite;  // the light's title line
extern const char* const LightTemplateName;  // "KVLight.txt", read from the settings folder

// The lines of a template file (at most 64 KiB read, lines cut at 512 bytes), or nullopt when
// there is none; throws when it cannot be read or is not a plain file.
std::optional<std::vector<std::string>> ReadTemplateLines(const std::string& path);

class Canvas;

// Pieces the light shares with the banner.
// "Time" with the readings' date and long time, in the displayed time zone.
std::string ReadingsTimeText(const tReadingsState& current, const tSettings& settings);
// "1 core", "4 cores"; empty when the processor count is unknown.
std::string CoresText(const tReadingsState& current);
// "Uptime" and the current uptime.
std::string UptimeLineText(const tReadingsState& current);
// The picture's outer frame: top and left edges in cBorder2, right and bottom in cBorder.
void DrawOuterFrame(Canvas& c, const tSettings& settings, int right, int bottom);

// Renders the light or the mini light (MiniLight) of d into image, resizing it. The full light
// is trimmed to its content. Throws on a failure the caller has to log (an unreadable template).
// texts, when given, receives where each text went.
void DrawLight(QImage& image, const tDisplayData& d, std::vector<tDrawnText>* texts = nullptr);

}  // namespace kv
