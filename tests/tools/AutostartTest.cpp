#include "tools/options/Autostart.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QDir>

#include "core/Process.h"
#include "platform/Files.h"
#include "settings/Settings.h"
#include "support/MonitorState.h"
#include "support/TestSupport.h"
#include "tools/options/OptionsDialog.h"

namespace kv {
namespace {

constexpr const char* BoxId = "autostart/Desktop Entry/StartAtLogin";

class AutostartTest : public testing::Test, public kvtest::MonitorState {
 protected:
  void SetUp() override {
    savedConfig_ = qgetenv("XDG_CONFIG_HOME");
    savedHome_ = qgetenv("HOME");
    Process.AppDir = KV_BIN_DIR "/";
    Process.SettingsDir = dir_.Path();
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(dir_.Path()));
    // A config home that does not exist yet: the entry's folders are created on the way.
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir_.File("config")));
    entry_ = dir_.File("config/autostart/kelvara.desktop");
  }
  void TearDown() override {
    qputenv("XDG_CONFIG_HOME", savedConfig_);
    qputenv("HOME", savedHome_);
  }
  static QCheckBox* Box(OptionsDialog& d) {
    auto* box = d.findChild<QCheckBox*>(BoxId);
    EXPECT_NE(box, nullptr);
    return box;
  }
  static unsigned Mode(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
  }

  kvtest::TempDir dir_;
  std::string entry_;
  QByteArray savedConfig_, savedHome_;
};

TEST_F(AutostartTest, TickingWritesOurEntryAndUntickingRemovesIt) {
  {
    OptionsDialog d(M, false, false, [](const std::string&, const std::string&) {
      ADD_FAILURE() << "asked about our own entry";
      return false;
    });
    ASSERT_TRUE(d.ShowPage(14));
    QCheckBox* box = Box(d);
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(box->isChecked());
    box->setChecked(true);
    ASSERT_TRUE(d.Apply()) << d.Message().toStdString();
  }
  const std::string text = kvtest::ReadFile(entry_);
  EXPECT_NE(text.find("\nExec=" + Process.AppDir + "kelvara\n"), std::string::npos) << text;
  for (const char* line : {"[Desktop Entry]\n", "\nType=Application\n", "\nName=Kelvara\n", "\nIcon=kelvara\n",
                           "\nX-GNOME-Autostart-enabled=true\n", "\nX-Kelvara-Autostart=1\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
  EXPECT_EQ(Mode(entry_), 0644u);
  EXPECT_EQ(Mode(dir_.File("config/autostart")), 0755u);
  EXPECT_EQ(QDir(QString::fromStdString(dir_.File("config/autostart"))).entryList(QDir::Files | QDir::Hidden).size(), 1)
      << "a temporary file was left";
  // Not a settings key: no settings file was written for it.
  EXPECT_FALSE(FileExists(dir_.File(ClientIniName)));

  OptionsDialog again(M, false, false);
  QCheckBox* box = Box(again);
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->isChecked());
  box->setChecked(false);
  ASSERT_TRUE(again.Apply());
  EXPECT_FALSE(FileExists(entry_));
}

// An entry the user made (or a link planted there) is never replaced or removed unasked, and a
// cancelled dialog leaves everything as it was.
TEST_F(AutostartTest, AnEntryThatIsNotOursIsKeptUnlessTheUserSaysOtherwise) {
  {
    OptionsDialog d(M, false, false);
    Box(d)->setChecked(true);
    d.reject();
  }
  EXPECT_FALSE(FileExists(entry_));
  EXPECT_FALSE(FolderExists(dir_.File("config")));

  ASSERT_TRUE(CreateFolder(dir_.File("config/autostart"), 0755));
  const std::string theirs = "[Desktop Entry]\nType=Application\nExec=/usr/bin/kelvara -mine\nX-Kelvara-Autostart=0\n";
  kvtest::WriteFile(dir_.File("target.desktop"), theirs);
  ASSERT_EQ(::symlink(dir_.File("target.desktop").c_str(), entry_.c_str()), 0);
  EXPECT_EQ(AutostartStateOf(entry_), tAutostartState::Foreign);
  ASSERT_EQ(::unlink(entry_.c_str()), 0);
  kvtest::WriteFile(entry_, theirs);

  std::vector<std::string> asked;
  bool answer = false;
  OptionsDialog d(M, false, false, [&](const std::string& question, const std::string& files) {
    asked.push_back(question + " " + files);
    return answer;
  });
  QCheckBox* box = Box(d);
  ASSERT_NE(box, nullptr);
  EXPECT_FALSE(box->isChecked());  // there, but not ours
  box->setChecked(true);
  EXPECT_FALSE(d.Apply());
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], "AutostartNotOurs " + entry_);
  EXPECT_EQ(kvtest::ReadFile(entry_), theirs);
  EXPECT_FALSE(box->isChecked());  // the box shows what is on disk

  box->setChecked(true);
  answer = true;
  ASSERT_TRUE(d.Apply());
  EXPECT_EQ(asked.size(), 2u);
  EXPECT_EQ(AutostartStateOf(entry_), tAutostartState::Ours);
  EXPECT_TRUE(box->isChecked());
}

TEST_F(AutostartTest, TheEntryFollowsTheConfigHomeAndQuotesTheProgramPath) {
  EXPECT_EQ(AutostartPath(), entry_);
  qputenv("XDG_CONFIG_HOME", "relative/config");  // not absolute: ignored
  qputenv("HOME", QByteArray::fromStdString(dir_.File("home")));
  EXPECT_EQ(AutostartPath(), dir_.File("home/.config/autostart/kelvara.desktop"));
  qunsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(AutostartPath(), dir_.File("home/.config/autostart/kelvara.desktop"));

  const auto exec = [](const std::string& program) {
    const std::string text = AutostartText(program);
    const size_t at = text.find("\nExec=");
    return at == std::string::npos ? std::string("(none)") : text.substr(at + 6, text.find('\n', at + 1) - at - 6);
  };
  EXPECT_EQ(exec("/opt/Kelvara 2/kelvara"), "\"/opt/Kelvara 2/kelvara\"");
  EXPECT_EQ(exec("/opt/a\"b$c\\d/kelvara"), "\"/opt/a\\\\\"b\\\\$c\\\\\\\\d/kelvara\"");
  EXPECT_EQ(exec("/opt/50%/kelvara"), "/opt/50%%/kelvara");
  EXPECT_EQ(exec("kelvara"), "(none)");
  EXPECT_EQ(exec("/opt/a\nExec=evil/kelvara"), "(none)");

  // Our marker counts only as a whole line.
  kvtest::WriteFile(dir_.File("e.desktop"), "[Desktop Entry]\nX-Kelvara-Autostart=10\n");
  EXPECT_EQ(AutostartStateOf(dir_.File("e.desktop")), tAutostartState::Foreign);
  EXPECT_EQ(AutostartStateOf(dir_.File("none.desktop")), tAutostartState::Absent);
}

}  // namespace
}  // namespace kv
