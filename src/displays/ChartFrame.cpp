#include "displays/ChartParts.h"
#include "settings/Settings.h"

namespace kv {

const std::array<const char*, BandIconCount> BandIconFiles = {
    "temperatures.png", "voltages.png", "fans.png", "memory.png", "cpu.png", "network.png", "battery.png",
    "gpu.png"};

void DrawBevel(Canvas& c, const tSettings& settings, int x1, int y1, int x2, int y2) {
  c.penStyle = tPenStyle::Solid;
  c.penColour = settings.cScBorder2;
  c.MoveTo(x1, y2 - 1);
  c.LineTo(x2 - 1, y2 - 1);
  c.LineTo(x2 - 1, y1);

  struct tCorner {
    int x, y;
    tColour colour;
  };
  const tCorner corners[] = {
      {x1, y1, settings.cBack},              {x1, y1 + 1, settings.cBack},
      {x1 + 1, y1, settings.cBack},          {x2 - 1, y1, settings.cBack},
      {x2 - 1, y1 + 1, settings.cBack},      {x2 - 2, y1, settings.cBack},
      {x1, y2 - 1, settings.cBack},          {x1, y2 - 2, settings.cBack},
      {x1 + 1, y2 - 1, settings.cBack},      {x2 - 1, y2 - 1, settings.cBack},
      {x2 - 1, y2 - 2, settings.cBack},      {x2 - 2, y2 - 1, settings.cBack},
      {x1 + 1, y1 + 1, settings.cScBorder},  {x1 + 1, y2 - 2, settings.cScBorder},
      {x2 - 2, y1 + 1, settings.cScBorder2}, {x2 - 2, y2 - 2, settings.cScBorder2},
  };
  for (const tCorner& p : corners) c.SetPixel(p.x, p.y, p.colour);
}

}  // namespace kv
