// The splash window: its drawn texts and its fade, cut short by a click.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>

#include "core/Process.h"
#include "gui/Splash.h"
#include "settings/Language.h"

namespace kv {
namespace {

int CountNear(const QImage& image, QRect area, QColor colour) {
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) n += QColor(image.pixel(x, y)) == colour;
  return n;
}

TEST(Splash, DrawsAddressAndVersionWithShadows) {
  LoadLanguage(tProcessFacts{.AppDir = KV_BIN_DIR "/"}, "English.lng");
  TfrmInfo splash;
  const QImage& picture = splash.Picture();
  ASSERT_EQ(picture.size(), QSize(290, 200));
  const QImage plain = SplashBackground();
  // The address: white text with a black shadow from y = 176 down; the version: yellow from 133.
  EXPECT_GT(CountNear(picture, QRect(5, 176, 280, 20), Qt::white), 20);
  EXPECT_GT(CountNear(picture, QRect(6, 177, 280, 20), Qt::black), 20);
  EXPECT_GT(CountNear(picture, QRect(5, 133, 200, 16), Qt::yellow), 10);
  EXPECT_EQ(CountNear(plain, QRect(5, 133, 200, 16), Qt::yellow), 0);
  // Nothing is drawn above the version line's place but the picture itself.
  EXPECT_EQ(picture.copy(0, 0, 290, 120), plain.copy(0, 0, 290, 120));
}

TEST(Splash, FadesInHoldsAndFadesOutOrGoesAtOnceWhenClicked) {
  QElapsedTimer clock;
  {
    TfrmInfo splash;
    clock.start();
    splash.ShowModal();
    // Eleven steps in, two seconds held, eleven steps out.
    EXPECT_GE(clock.elapsed(), 2400);  // coarse timers may fire a little early
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_FALSE(splash.isVisible());
    EXPECT_EQ(splash.Alpha(), 0);
  }
  {
    TfrmInfo splash;
    QTimer::singleShot(150, &splash, [&splash] {
      splash.RequestClose();
      splash.RequestClose();  // a second request while fading out changes nothing
    });
    clock.start();
    splash.ShowModal();
    EXPECT_LT(clock.elapsed(), 1200);
    EXPECT_FALSE(splash.isVisible());
  }
  {
    // Closing from outside is refused and turned into the fade-out.
    TfrmInfo splash;
    QTimer::singleShot(100, &splash, [&splash] { EXPECT_FALSE(splash.close()); });
    clock.start();
    splash.ShowModal();
    EXPECT_LT(clock.elapsed(), 1200);
  }
}

}  // namespace
}  // namespace kv
