#pragma once
// The light: a tall 110-pixel picture of the current readings (or the 80 x 80 mini light),
// drawn for its window and for the light file. Main thread only.
#include <QImage>

namespace kv {

extern const char* const ProductWebSite;  // the light's title line
extern const char* const LightTemplateName;  // "KVLight.txt", read from SettingsDir

// Renders the light or the mini light (MiniLight) into image, resizing it. The full light is
// trimmed to its content. Throws on a failure the caller has to log (an unreadable template).
void DrawLight(QImage& image);

}  // namespace kv
