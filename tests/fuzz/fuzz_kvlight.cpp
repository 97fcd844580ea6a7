// KVLight.txt in the settings folder, read and drawn into the light as the light window and the
// light file draw it. Only the template lines come from the input, so the channel rows are left
// out: drawing them would only slow every input down.
#include <QGuiApplication>
#include <QImage>
#include <exception>

#include "DisplayState.h"
#include "displays/Light.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  kvfuzz::Init();
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static QGuiApplication* app = new QGuiApplication(*argc, *argv);  // fonts need one
  (void)app;
  kvfuzz::FixedEnvironment();
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  kvfuzz::LoadUnitTexts();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvtest::SeriesState& s = kvfuzz::SetReadings();
  for (auto& c : s.Settings.TCfg) c.Vis = 0;
  for (auto& c : s.Settings.FCfg) c.Vis = 0;
  s.Readings.Freq = kv::NoValue32;
  kvfuzz::WriteFile(s.Process.SettingsDir + kv::LightTemplateName, data, size);
  static QImage image;
  try {
    kv::DrawLight(image, kvfuzz::Display(s));
  } catch (const std::exception&) {
    // An unreadable template is the caller's to log.
  }
  if (image.width() != 110 || image.height() <= 0 || image.height() > 500) kvfuzz::Fail("light of a wrong size");
  return 0;
}
