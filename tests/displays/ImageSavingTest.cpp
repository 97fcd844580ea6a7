#include "displays/ImageSaving.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QImage>

#include "DisplayState.h"
#include "platform/Files.h"
#include "statistics/StatStore.h"

namespace kv {
namespace {

class ImageSaving : public DisplayState {
 protected:
  void SetUp() override {
    DisplayState::SetUp();
    Pictures.ClearAll();
    pictures = dir.Path() + "pictures/";
    ASSERT_EQ(::mkdir(pictures.c_str(), 0700), 0);
    Settings.LocalPath = pictures;
  }
  void TearDown() override {
    Pictures.ClearAll();
    DisplayState::TearDown();
  }
  static std::string Magic(const std::string& path) { return kvtest::ReadFile(path).substr(0, 4); }

  std::string pictures;
};

TEST_F(ImageSaving, NamesFollowTheExtensionRuleAndTimeZero) {
  const struct {
    const char* setting;
    const char* written;
    const char* magic;
  } cases[] = {
      {"light", "light.png", "\x89PNG"},
      {"light.GIF", "light.GIF", "GIF8"},
      {"light.jpg", "light.jpg.png", "\x89PNG"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WriteLightFile(Display(), ui, c.setting), c.written);
    EXPECT_EQ(Magic(pictures + c.written), c.magic) << c.setting;
  }
  EXPECT_NE(ui.status.find(FormatWithText(Texts()->SavedSuccessfully, "light.GIF")), std::string::npos);
  EXPECT_NE(EventLog().find("Saving light.jpg.png"), std::string::npos);

  Settings.TimeInUTC = true;
  Readings.Time = EncodeDateTime({2024, 6, 1, 12, 0, 0, 0});
  EXPECT_EQ(WriteLightFile(Display(), ui, "kv%date%%time%"), "kv18991230000000.png");
}

TEST_F(ImageSaving, DirectoryOfTheStoredNameIsDropped) {
  kvtest::WriteFile(dir.File("KVClient.ini"), "[Light]\nLight=C:\\web\\light.png\n[Misc]\nLocalPath=" + pictures + "\n");
  ReadSettings(Settings, Process);
  EXPECT_EQ(WriteLightFile(Display(), ui, Settings.Light), "light.png");
  EXPECT_EQ(Magic(pictures + "light.png"), "\x89PNG");
}

TEST_F(ImageSaving, UnusableLocalPathFallsBackOrFailsCleanly) {
  Settings.LocalPath = dir.Path() + "missing/";
  EXPECT_EQ(WriteLightFile(Display(), ui, "kvlight.png"), "kvlight.png");
  EXPECT_EQ(Magic(dir.File("kvlight.png")), "\x89PNG");
  EXPECT_NE(EventLog().find("Could not change dir to " + Settings.LocalPath), std::string::npos);
  EXPECT_NE(ui.status.find(Texts()->KelvaraDir), std::string::npos);

  // A relative folder counts from the settings folder, never from the process's own.
  Settings.LocalPath = "pictures";
  EXPECT_EQ(PictureFolder(Settings, Process, ui), pictures);

  // A folder that can be entered but takes no new files, not even from root.
  Settings.LocalPath = "/proc/";
  EXPECT_EQ(WriteLightFile(Display(), ui, "kvlight.gif"), "");
  EXPECT_EQ(WriteLightFile(Display(), ui, "kvlight.png"), "");
  EXPECT_NE(EventLog().find("si2 "), std::string::npos);
  EXPECT_NE(EventLog().find("si4 "), std::string::npos);
}

TEST_F(ImageSaving, TimedSavesFillTheQueueAndFailuresEmptyIt) {
  EXPECT_FALSE(Pictures.Waiting());
  Settings.Light = "kvlight.png";
  TimedLightSave(Display(), ui, Pictures);
  const tPendingImage first = Pictures.Pending(tImageKind::Light);
  EXPECT_EQ(first.name, "kvlight.png");
  EXPECT_EQ(first.path, pictures + "kvlight.png");
  EXPECT_TRUE(Pictures.Waiting());

  // An upload that finishes after a newer save must not drop the newer one.
  TimedLightSave(Display(), ui, Pictures);
  Pictures.Clear(tImageKind::Light, first);
  EXPECT_TRUE(Pictures.Waiting());
  Pictures.Clear(tImageKind::Light, Pictures.Pending(tImageKind::Light));
  EXPECT_FALSE(Pictures.Waiting());

  TimedLightSave(Display(), ui, Pictures);
  // A folder where the template should be: the drawing fails and the save writes nothing.
  ASSERT_EQ(::mkdir(dir.File("KVLight.txt").c_str(), 0700), 0);
  TimedLightSave(Display(), ui, Pictures);
  EXPECT_EQ(Pictures.Pending(tImageKind::Light).name, "");
  EXPECT_NE(EventLog().find("sil "), std::string::npos);

  // The banner needs two samples; before that its save writes nothing and says so.
  Stats8h = tStatStore{};
  Settings.Banner = "kvwide%date%.png";
  TimedBannerSave(Display(), ui, Pictures);
  EXPECT_EQ(Pictures.Pending(tImageKind::Banner).name, "");
  EXPECT_NE(EventLog().find("sib nothing drawn yet"), std::string::npos);
  EXPECT_EQ(EventLog().find("si4 "), std::string::npos);
  EXPECT_FALSE(FileExists(pictures + "kvwide18991230.png"));
}

TEST_F(ImageSaving, BannerIsSavedQueuedAndSavedAs) {
  Stats8h = tStatStore{};
  for (int i = 0; i < 2; ++i) {
    Readings.Time = EncodeDateTime({2026, 3, 4, 12, i, 0, 0});
    Series.StoreSample(Stats8h, Params8h, true);
  }
  Settings.Banner = "kvwide.gif";
  Settings.BannerWidth = 600;
  TimedBannerSave(Display(), ui, Pictures);
  const tPendingImage queued = Pictures.Pending(tImageKind::Banner);
  EXPECT_EQ(queued.name, "kvwide.gif");
  EXPECT_EQ(queued.path, pictures + "kvwide.gif");
  const QImage written(QString::fromStdString(queued.path));
  EXPECT_EQ(written.size(), QSize(600, 80));
  EXPECT_EQ(Magic(queued.path), "GIF8");

  Pictures.Clear(tImageKind::Banner, queued);
  const std::string chosen = dir.Path() + "wide";
  EXPECT_EQ(SaveBannerAs(Display(), ui, chosen, 1), chosen + ".png");
  EXPECT_EQ(QImage(QString::fromStdString(chosen + ".png")).size(), QSize(600, 80));
  EXPECT_FALSE(Pictures.Waiting());
  Stats8h = tStatStore{};
}

TEST_F(ImageSaving, SaveAsKeepsTheQueueAndAddsTheFilterExtension) {
  EXPECT_EQ(ProposedSaveName("kvlight.png"), "kvlight");
  EXPECT_EQ(ProposedSaveName("my.light.gif"), "my.light");
  EXPECT_EQ(ChosenSaveName("/x/pic", 2), "/x/pic.gif");
  EXPECT_EQ(ChosenSaveName("/x/pic", 1), "/x/pic.png");
  EXPECT_EQ(ChosenSaveName("/x/pic.GIF", 1), "/x/pic.GIF");
  EXPECT_EQ(ChosenSaveName("/x.d/pic", 2), "/x.d/pic.gif");

  const std::string chosen = dir.Path() + "elsewhere";
  EXPECT_EQ(SaveLightAs(Display(), ui, chosen, 2), chosen + ".gif");
  EXPECT_EQ(Magic(chosen + ".gif"), "GIF8");
  EXPECT_FALSE(Pictures.Waiting());
}

}  // namespace
}  // namespace kv
