#include "settings/SettingsFolder.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/TestSupport.h"

namespace {

using namespace kv;

class SettingsFolder : public ::testing::Test {
 protected:
  std::string MakeFolder(const std::string& name, mode_t mode) {
    const std::string path = data.Path() + name + "/";
    EXPECT_EQ(::mkdir(path.c_str(), 0700), 0);
    EXPECT_EQ(::chmod(path.c_str(), mode), 0);
    return path;
  }
  kvtest::TempDir data;
  kvtest::TempDir app;
};

TEST_F(SettingsFolder, OnlyAPrivateFolderOfThisUserIsAccepted) {
  EXPECT_EQ(SettingsFolderProblem(MakeFolder("good", 0700)), "");
  EXPECT_EQ(SettingsFolderProblem(MakeFolder("readable", 0755)), "");

  const std::string open = MakeFolder("open", 0777);
  const std::string problem = SettingsFolderProblem(open);
  EXPECT_NE(problem.find("writable by group or others"), std::string::npos) << problem;
  EXPECT_NE(problem.find(open), std::string::npos) << "names the folder: " << problem;
  EXPECT_NE(SettingsFolderProblem(MakeFolder("group", 0770)), "");
  EXPECT_NE(SettingsFolderProblem(MakeFolder("sticky", 01777)), "");

  // Mode bits count even for root, whom the kernel lets write anywhere.
  EXPECT_NE(SettingsFolderProblem(MakeFolder("readonly", 0500)).find("not writable"),
            std::string::npos);

  const std::string target = MakeFolder("target", 0700);
  const std::string link = data.Path() + "link";
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  EXPECT_NE(SettingsFolderProblem(link + "/").find("symbolic link"), std::string::npos);
  EXPECT_NE(SettingsFolderProblem(link).find("symbolic link"), std::string::npos);

  kvtest::WriteFile(data.File("file"), "x");
  EXPECT_NE(SettingsFolderProblem(data.File("file")).find("not a directory"), std::string::npos);
  EXPECT_NE(SettingsFolderProblem(data.File("missing/")), "");
}

TEST_F(SettingsFolder, AFolderOfAnotherUserIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "chown to another user needs root";
  const passwd* nobody = ::getpwnam("nobody");
  const uid_t other = nobody ? nobody->pw_uid : 65534;
  const std::string foreign = MakeFolder("foreign", 0700);
  ASSERT_EQ(::chown(foreign.c_str(), other, static_cast<gid_t>(-1)), 0);
  const std::string problem = SettingsFolderProblem(foreign);
  EXPECT_NE(problem.find("owned by user " + std::to_string(other)), std::string::npos) << problem;
}

TEST_F(SettingsFolder, ChoiceCreatesOrAcceptsMissingAndChecksTheRest) {
  // The monitor creates the folder, private.
  const tSettingsFolderChoice created = ChooseSettingsDir(app.Path(), data.Path() + "share", true);
  EXPECT_EQ(created.dir, data.Path() + "share/kelvara/");
  EXPECT_EQ(created.problem, "");
  struct stat st {};
  ASSERT_EQ(::stat(created.dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  // The system-information program only looks: a missing folder means defaults.
  const tSettingsFolderChoice missing = ChooseSettingsDir(app.Path(), data.Path() + "none", false);
  EXPECT_EQ(missing.problem, "");
  EXPECT_NE(::access(missing.dir.c_str(), F_OK), 0);

  // Both refuse the same unsafe folder.
  ASSERT_EQ(::chmod(created.dir.c_str(), 0777), 0);
  for (const bool create : {true, false})
    EXPECT_NE(ChooseSettingsDir(app.Path(), data.Path() + "share", create).problem, "") << create;
  // A planted link where the folder belongs.
  ASSERT_EQ(::mkdir((data.Path() + "planted").c_str(), 0700), 0);
  ASSERT_EQ(::symlink(MakeFolder("elsewhere", 0700).c_str(), (data.Path() + "planted/kelvara").c_str()), 0);
  for (const bool create : {true, false})
    EXPECT_NE(ChooseSettingsDir(app.Path(), data.Path() + "planted", create).problem, "") << create;

  EXPECT_NE(ChooseSettingsDir(app.Path(), "", true).problem, "");

  // The marker keeps older installations in the program folder, checked like any other.
  kvtest::WriteFile(app.File("oldsettingsdir"), "");
  ASSERT_EQ(::chmod(app.Path().c_str(), 0700), 0);
  const tSettingsFolderChoice old = ChooseSettingsDir(app.Path(), data.Path() + "share", true);
  EXPECT_EQ(old.dir, app.Path());
  EXPECT_EQ(old.problem, "");
}

}  // namespace
