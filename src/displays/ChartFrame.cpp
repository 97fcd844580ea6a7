#include "displays/ChartParts.h"
#include "settings/Settings.h"

namespace kv {

const std::array<const char*, BandIconCount> BandIconFiles = {
    "temperatures.png", "voltages.png", "fans.png", "memory.png", "cpu.png", "network.png", "battery.png"};

void DrawBevel(Canvas& c, int x1, int y1, int x2, int y2) {
  c.penStyle = tPenStyle::Solid;
  c.penColour = Settings.cScBorder2;
  c.MoveTo(x1, y2 - 1);
  c.LineTo(x2 - 1, y2 - 1);
  c.LineTo(x2 - 1, y1);

  struct tCorner {
    int x, y;
    tColour colour;
  };
  const tCorner corners[] = {
      {x1, y1, Settings.cBack},              {x1, y1 + 1, Settings.cBack},
      {x1 + 1, y1, Settings.cBack},          {x2 - 1, y1, Settings.cBack},
      {x2 - 1, y1 + 1, Settings.cBack},      {x2 - 2, y1, Settings.cBack},
      {x1, y2 - 1, Settings.cBack},          {x1, y2 - 2, Settings.cBack},
      {x1 + 1, y2 - 1, Settings.cBack},      {x2 - 1, y2 - 1, Settings.cBack},
      {x2 - 1, y2 - 2, Settings.cBack},      {x2 - 2, y2 - 1, Settings.cBack},
      {x1 + 1, y1 + 1, Settings.cScBorder},  {x1 + 1, y2 - 2, Settings.cScBorder},
      {x2 - 2, y1 + 1, Settings.cScBorder2}, {x2 - 2, y2 - 2, Settings.cScBorder2},
  };
  for (const tCorner& p : corners) c.SetPixel(p.x, p.y, p.colour);
}

}  // namespace kv
