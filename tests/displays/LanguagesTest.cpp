// Chart, banner and light over a year's history in every shipped language: each text's ink keeps
// to the columns it was given and to the picture, and no two texts cover the same pixels.
#include <gtest/gtest.h>

#include <QLocale>
#include <QPainter>
#include <cstdlib>
#include <string>
#include <vector>

#include "DisplayState.h"
#include "displays/Banner.h"
#include "displays/Chart.h"
#include "displays/Light.h"
#include "support/FullHistory.h"

namespace kv {
namespace {

struct tLanguage {
  const char* file;
  const char* locale;  // the system locale a user of that language has: dates and separators
};

const tLanguage LanguageLocales[] = {
    {"Czech.lng", "cs_CZ"},      {"Deutsch.lng", "de_DE"},   {"English.lng", "en_US"},
    {"Finnish.lng", "fi_FI"},    {"Francais.lng", "fr_FR"},  {"Italian.lng", "it_IT"},
    {"Korean.lng", "ko_KR"},     {"Nederlands.lng", "nl_NL"}, {"Norsk.lng", "nb_NO"},
    {"Polish.lng", "pl_PL"},     {"Portugues - Europeu.lng", "pt_PT"}, {"Russian.lng", "ru_RU"},
    {"Spanish.lng", "es_ES"},
};

class Languages : public DisplayState, public testing::WithParamInterface<tLanguage> {
 protected:
  void SetUp() override {
    DisplayState::SetUp();
    kvtest::SetUpChannels(Settings, Current);
    kvtest::FillFullHistory(Series, Current);
    Settings.DisplayDateTime = Settings.ReadUpTime = Settings.ReadSETI = true;
    Settings.visCPUFreq = Settings.visUser = true;
    Settings.Page = Settings.visCache = 1;
    Settings.MiniLight = false;
    Readings.T[9] = NoValue16;  // a sensor that went away: its legend says so
    Current.UpSecs = 10'654'321;
    Current.UpDays = 123;
    Current.UpHours = 11;
    Current.UpMins = 12;
    Current.UpSecsPart = 1;
    Current.FreqMax = 4'000'000;
    Current.BOINCProjects = {{1.5e6, 300, 2e6, 120, "Rosetta@home"}, {42, 7, 42, 7, "Einstein@Home"}};
    kvtest::WriteFile(dir.File("KVLight.txt"), "%boinccredits%\nCPU %cpu0%\n");
    LoadBandIcons(KV_BIN_DIR "/");
    QLocale::setDefault(QLocale(GetParam().locale));
    LoadLanguage(Process, GetParam().file);
  }
  void TearDown() override {
    ResetTexts();
    DisplayState::TearDown();
  }

  static std::string Where(const QRect& r) {
    return std::to_string(r.left()) + "," + std::to_string(r.top()) + " " + std::to_string(r.width()) + "x" +
           std::to_string(r.height());
  }
  // Every text inside its columns and the picture, none over another. A text drawn twice one
  // pixel apart is a shadow, not a collision.
  static void ExpectTextsApart(const char* picture, const QImage& image, const std::vector<tDrawnText>& texts) {
    ASSERT_FALSE(texts.empty()) << picture;
    const QRect bounds = image.rect();
    for (size_t i = 0; i < texts.size(); ++i) {
      const tDrawnText& a = texts[i];
      EXPECT_TRUE(bounds.contains(a.ink)) << picture << ": '" << a.text << "' leaves the picture at " << Where(a.ink);
      EXPECT_TRUE(a.ink.left() >= a.left && a.ink.right() < a.right)
          << picture << ": '" << a.text << "' ink " << a.ink.left() << ".." << a.ink.right() << " leaves its cell "
          << a.left << ".." << a.right - 1;
      for (size_t k = i + 1; k < texts.size(); ++k) {
        const tDrawnText& b = texts[k];
        const QPoint shift = b.ink.topLeft() - a.ink.topLeft();
        if (a.text == b.text && std::abs(shift.x()) <= 1 && std::abs(shift.y()) <= 1) continue;
        if (a.watermark || b.watermark) continue;  // faint figures behind the texts
        EXPECT_FALSE(a.ink.intersects(b.ink)) << picture << ": '" << a.text << "' and '" << b.text << "' overlap at "
                                              << Where(a.ink.intersected(b.ink));
      }
    }
  }
};

TEST_P(Languages, TextsKeepToTheirCells) {
  ASSERT_EQ(kvtest::ShippedLanguages().size(), std::size(LanguageLocales)) << "a language without a test locale";
  struct tView {
    const char* name;
    const tStatStore& series;
    double hours;
  };
  const tView views[] = {{"8 hours", Stats8h, 8}, {"7 days", Stats7d, 168}, {"year", Stats1a, 8760}};
  std::vector<tDrawnText> texts;
  QImage chart, banner, light;
  for (const tView& v : views) {
    ASSERT_TRUE(DrawStatistics(chart, Display(), v.series, kvtest::FullEnd, v.hours, &texts));
    ExpectTextsApart(v.name, chart, texts);
  }
  texts.clear();
  DrawBanner(banner, Display(), &texts);
  ExpectTextsApart("banner", banner, texts);
  texts.clear();
  DrawLight(light, Display(), &texts);
  ExpectTextsApart("light", light, texts);

  // Not a check: KV_CONTACT_SHEET=folder keeps the year chart, the banner and the light side by
  // side for a look (scripts/contact-sheet).
  if (const char* folder = std::getenv("KV_CONTACT_SHEET")) {
    QImage sheet(chart.width() + light.width() + 10, chart.height() + banner.height() + 10, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    QPainter p(&sheet);
    p.drawImage(0, 0, chart);
    p.drawImage(chart.width() + 10, 0, light);
    p.drawImage(0, chart.height() + 10, banner);
    p.end();
    sheet.save(QString::fromStdString(std::string(folder) + "/" + GetParam().file + ".png"));
  }
}

INSTANTIATE_TEST_SUITE_P(AllShipped, Languages, testing::ValuesIn(LanguageLocales),
                         [](const testing::TestParamInfo<tLanguage>& p) { return std::string(p.param.locale); });

}  // namespace
}  // namespace kv
