// Drawing a chart-sized picture and encoding it as PNG and GIF.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <string>
#include <vector>

#include "displays/Canvas.h"
#include "displays/GifFile.h"
#include "displays/Light.h"
#include "displays/PngFile.h"
#include "displays/SegmentDigits.h"
#include "core/DateTime.h"
#include "core/Process.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"
#include "settings/Language.h"
#include "settings/Settings.h"
#include "BenchState.h"

namespace {

// A 480 x 800 picture in the chart's manner: eight bands with dotted grids, four curves each,
// legend rows of text and a large clock value.
QImage DrawChartLike() {
  using namespace kv;
  QImage image(480, 800, QImage::Format_RGB32);
  Canvas canvas(image);
  canvas.penColour = MakeColour(0, 0, 96);
  canvas.brushColour = MakeColour(240, 240, 232);
  canvas.Rectangle(0, 0, 480, 800);
  canvas.SetFont(tFont{FontArial, 12, false, MakeColour(40, 40, 40)});
  const tColour curveColours[] = {MakeColour(220, 0, 0), MakeColour(0, 140, 0), MakeColour(0, 0, 220),
                                  MakeColour(200, 120, 0)};
  for (int band = 0; band < 8; ++band) {
    const int y0 = 4 + band * 98;
    canvas.penColour = MakeColour(128, 128, 128);
    canvas.brushColour = MakeColour(255, 255, 255);
    canvas.brushStyle = tBrushStyle::Solid;
    canvas.Rectangle(5, y0 + 5, 438, y0 + 69);
    canvas.penColour = MakeColour(200, 200, 200);
    canvas.penStyle = tPenStyle::Dot;
    for (int x = 20; x < 434; x += 40) canvas.Line(x, y0 + 9, x, y0 + 66);
    for (int y = y0 + 12; y < y0 + 66; y += 12) {
      canvas.Line(8, y, 434, y);
      canvas.TextOut(440, y - 6, std::to_string(y - y0) + " °C");
    }
    canvas.penStyle = tPenStyle::Solid;
    if (band == 0) DrawSegmentNumber(canvas, MakeColour(220, 220, 220), 3400, 15, 4, 20, y0 + 12, 300);
    for (int c = 0; c < 4; ++c) {
      std::vector<tPoint> points;
      for (int x = 5; x < 434; ++x)
        points.push_back({x, y0 + 37 + static_cast<int>(25 * std::sin((x + 40 * c + band) / 23.0))});
      canvas.penColour = curveColours[c];
      canvas.Polyline(points);
    }
    canvas.brushStyle = tBrushStyle::Clear;
    for (int row = 0; row < 3; ++row) {
      canvas.SetFontColour(curveColours[row]);
      canvas.TextRect(10, y0 + 71 + row * 9, 90, y0 + 80 + row * 9, 10, y0 + 71 + row * 9, "Channel " + std::to_string(row));
      canvas.TextOut(100, y0 + 71 + row * 9, "47.5 °C   Min 31.0 °C   Max 62.5 °C   Avg 44.1 °C");
    }
  }
  return image;
}

void BM_DrawChartLike(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(DrawChartLike());
}
BENCHMARK(BM_DrawChartLike)->Unit(benchmark::kMillisecond);

void BM_WritePng(benchmark::State& state) {
  const QImage image = DrawChartLike();
  const std::string path = "/tmp/kv-bench-displays.png";
  std::string error;
  for (auto _ : state) benchmark::DoNotOptimize(kv::WritePng(image, path, error));
  state.counters["bytes"] = kvbench::FileBytes(path);
  std::remove(path.c_str());
}
BENCHMARK(BM_WritePng)->Unit(benchmark::kMillisecond);

void BM_WriteGif(benchmark::State& state) {
  const QImage image = DrawChartLike();
  const std::string path = "/tmp/kv-bench-displays.gif";
  std::string error;
  for (auto _ : state) benchmark::DoNotOptimize(kv::WriteGif(image, path, error));
  state.counters["bytes"] = kvbench::FileBytes(path);
  std::remove(path.c_str());
}
BENCHMARK(BM_WriteGif)->Unit(benchmark::kMillisecond);

// One timed light save without the queue: five temperatures, two fans, the clock, the date and
// uptime lines, drawn and written as PNG; an empty settings folder, so no KVLight.txt. Run from
// build/bin, where the language file lies.
void BM_DrawLightAndSavePng(benchmark::State& state) {
  using namespace kv;
  kvbench::tSeriesBench b;
  char folder[] = "/tmp/kv-bench-XXXXXX";
  if (::mkdtemp(folder) == nullptr) return state.SkipWithError("no temporary folder");
  b.process.SettingsDir = std::string(folder) + "/";
  LoadLanguage(b.process, "English.lng");
  ResetReadings(b.current);
  SetUpSecs(b.current, 300000);
  b.settings.DisplayDateTime = true;
  b.settings.ReadUpTime = true;
  for (int i = 0; i < 5; ++i) {
    b.settings.TCfg[i] = {1, MakeColour(40 * i, 0, 200 - 40 * i), true, "T" + std::to_string(i + 1)};
    b.current.Readings.T[i] = static_cast<int16_t>(3000 + 730 * i);
  }
  for (int i = 0; i < 2; ++i) {
    b.settings.FCfg[i].Vis = 1;
    b.settings.FCfg[i].Name = "F" + std::to_string(i + 1);
    b.current.Readings.F[i] = static_cast<int16_t>(i == 0 ? 1234 : -155);
  }
  b.current.Readings.Freq = 3400000;
  b.current.Readings.Time = b.clock.UtcNow();
  const std::string path = "/tmp/kv-bench-light.png";
  std::string error;
  for (auto _ : state) {
    QImage light;
    DrawLight(light, b.Display());
    benchmark::DoNotOptimize(kv::WritePng(light, path, error));
  }
  state.counters["bytes"] = kvbench::FileBytes(path);
  std::remove(path.c_str());
  ::rmdir(folder);
}
BENCHMARK(BM_DrawLightAndSavePng)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
