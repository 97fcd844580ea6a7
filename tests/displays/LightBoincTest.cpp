#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "DisplayState.h"
#include "displays/Canvas.h"
#include "displays/Light.h"
#include "readvalue/Boinc.h"

namespace kv {
namespace {


// The BOINC lines of the light, filled from a state file the reader read.
class LightBoinc : public DisplayState {
 protected:
  void SetUp() override {
    DisplayState::SetUp();
    Settings.cBack = MakeColour(224, 224, 224);
    Settings.BOINCPath = dir.Path();
  }
  static bool InkAt(const QImage& image, int x, int y) {
    return FromQRgb(image.pixel(x, y)) != MakeColour(224, 224, 224);
  }
  // Text in the template font with its cell's top-left corner at (x, top), drawn alone.
  static QImage TextAlone(const std::string& text, int x, int top) {
    QImage image(110, 200, QImage::Format_RGB32);
    image.fill(Qt::white);
    Canvas c(image);
    c.SetFont(tFont{FontCourier, 13, false, 0});
    c.TextOut(x, top, text);
    return image;
  }
  // The light shows text in the cell at (x, top): every pixel the text alone covers is ink, and
  // in the middle rows of the cell, which no neighbouring line reaches, the columns left .. right
  // have ink only where the text has.
  static void ExpectText(const QImage& light, const std::string& text, int x, int top, int right, int left = 0) {
    const QImage alone = TextAlone(text, x, top);
    int covered = 0;
    for (int py = 0; py < light.height(); ++py)
      for (int px = x; px < light.width() - 1; ++px) {
        const bool want = alone.pixel(px, py) != QColor(Qt::white).rgb();
        covered += want;
        if (want) {
          EXPECT_TRUE(InkAt(light, px, py)) << "'" << text << "' missing at " << px << "," << py;
        } else if (px >= left && px < right && py >= top + 4 && py < top + 9) {
          EXPECT_FALSE(InkAt(light, px, py)) << "'" << text << "' has extra ink at " << px << "," << py;
        }
      }
    EXPECT_GT(covered, 10) << text;
  }
};

TEST_F(LightBoinc, StateFileFillsTheStatsAndCreditLines) {
  kvtest::WriteFile(dir.File("client_state.xml"),
                    "<project>\n<project_name>Einstein@Home</project_name>\n"
                    "<user_total_credit>1234567</user_total_credit>\n<host_expavg_credit>7</host_expavg_credit>\n"
                    "</project>\n<project>\n<project_name>Rosetta</project_name>\n"
                    "<user_total_credit>42</user_total_credit>\n<host_expavg_credit>300</host_expavg_credit>\n"
                    "</project>\n"
                    "<active_task>\n<fraction_done>0.5</fraction_done>\n<current_cpu_time>3720</current_cpu_time>\n"
                    "</active_task>\n"
                    "<active_task>\n<fraction_done>0.25</fraction_done>\n<current_cpu_time>90061</current_cpu_time>\n"
                    "</active_task>\n");
  kvtest::WriteFile(dir.File("KVLight.txt"), "%boincstats%\n%BOINCcreditsUserTotal%\n%boinccredits%\n");
  ReadBOINC(Ctx);
  QImage image;
  DrawLight(image, Display());
  ASSERT_EQ(image.height(), 26 + 6 * 9 + 3);  // two task lines, two lines per credit line

  // Template lines start at y = 17, 9 pixels apart, each drawn 5 pixels higher.
  const auto top = [](int line) { return 17 + 9 * line - 5; };
  ExpectText(image, "50%", 8, top(0), 45);
  ExpectText(image, "(1:02 h)", 45, top(0), 109);
  ExpectText(image, "25%", 8, top(1), 45);
  ExpectText(image, "(1 d 1 h)", 45, top(1), 109);
  // "user" and "total": the user's total credit; neither: the host's average. A long name is
  // shortened before its figure, which keeps the columns from 67 on to itself.
  ExpectText(image, "Eins", 8, top(2), 39);
  ExpectText(image, "1235k", 69, top(2), 109, 67);
  ExpectText(image, "Rosetta", 8, top(3), 69);
  ExpectText(image, "42", 69, top(3), 109);
  ExpectText(image, "Eins", 8, top(4), 39);
  ExpectText(image, "7", 69, top(4), 109, 67);
  ExpectText(image, "Rosetta", 8, top(5), 69);
  ExpectText(image, "300", 69, top(5), 109);

  // The next read finds the tasks finished: their lines go.
  kvtest::WriteFile(dir.File("client_state.xml"), "<project>\n<project_name>Rosetta</project_name>\n</project>\n");
  ReadBOINC(Ctx);
  DrawLight(image, Display());
  EXPECT_EQ(image.height(), 26 + 2 * 9 + 3);
  ExpectText(image, "Rosetta", 8, top(0), 69);
  ExpectText(image, "0", 69, top(0), 109);
}

}  // namespace
}  // namespace kv
