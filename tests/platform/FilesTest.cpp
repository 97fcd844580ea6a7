#include "platform/Files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/Instance.h"
#include "support/TestSupport.h"

namespace kv {
namespace {

using kvtest::ReadFile;
using kvtest::TempDir;
using kvtest::WriteFile;

TEST(Files, AtomicWriteReplacesWholeAndKeepsModeAndNoTempBehind) {
  TempDir dir;
  const std::string path = dir.File("KVServer.ini");
  WriteFile(path, "old");
  ASSERT_TRUE(WriteFileAtomic(path, "new content", 0600));
  EXPECT_EQ(ReadFile(path), "new content");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_FALSE(WriteFileAtomic(dir.File("missing/x.ini"), "x"));
  EXPECT_EQ(ReadFile(path), "new content");
  int entries = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.Path())) ++entries;
  EXPECT_EQ(entries, 1);
}

// Links another user could plant at the names a writer uses are never followed.
TEST(Files, PlantedLinksAreNeverFollowed) {
  TempDir dir;
  const std::string victim = dir.File("victim");
  WriteFile(victim, "precious");
  const std::string path = dir.File("KVClient.ini");
  const std::string pid = std::to_string(::getpid());
  // The temporary names a writer of this or an earlier build would pick first.
  for (const std::string& name : {path + ".kvtmp." + pid + ".0", path + ".tmp" + pid})
    ASSERT_EQ(::symlink(victim.c_str(), name.c_str()), 0);
  ASSERT_TRUE(WriteFileAtomic(path, "settings", 0600));
  EXPECT_EQ(ReadFile(path), "settings");
  EXPECT_EQ(ReadFile(victim), "precious");

  // A link at a copy's target is replaced, not written through; a link as the source is refused.
  const std::string backup = dir.File("KVClient.ini.backup");
  ASSERT_EQ(::symlink(victim.c_str(), backup.c_str()), 0);
  ASSERT_TRUE(CopyFile(path, backup));
  EXPECT_EQ(ReadFile(victim), "precious");
  EXPECT_EQ(ReadFile(backup), "settings");
  struct stat st {};
  ASSERT_EQ(::lstat(backup.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // the copy keeps the source's mode
  const std::string link = dir.File("link");
  ASSERT_EQ(::symlink(victim.c_str(), link.c_str()), 0);
  EXPECT_FALSE(CopyFile(link, dir.File("copy")));
  EXPECT_FALSE(FileExists(dir.File("copy")));
}

TEST(Files, StaleTempFilesOfDeadWritersGo) {
  TempDir dir;
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);  // reaped: this pid belongs to nobody now
  const std::string dead = std::to_string(child);
  const std::string victim = dir.File("victim");
  WriteFile(victim, "precious");

  WriteFile(dir.File("Kelvara8h.log6.kvtmp." + dead + ".0"), "stale");
  WriteFile(dir.File("KVClient.ini.kvtmp." + dead + ".12"), "stale");
  const char* kept[] = {"KVServer.ini.kvtmp.1.0", "notes.kvtmp.x.0", "notes.kvtmp.12", "notes.tmp",
                        "huge.kvtmp.99999999999999999999.0"};
  for (const char* name : kept) WriteFile(dir.File(name), "keep");
  const std::string mine = dir.File("KVDisplay.ini.kvtmp." + std::to_string(::getpid()) + ".0");
  WriteFile(mine, "a live writer's");
  const std::string link = dir.File("link.kvtmp." + dead + ".0");
  ASSERT_EQ(::symlink(victim.c_str(), link.c_str()), 0);
  ASSERT_EQ(::mkdir(dir.File("folder.kvtmp." + dead + ".0").c_str(), 0700), 0);

  EXPECT_EQ(RemoveStaleTempFiles(dir.Path()), 2);
  EXPECT_FALSE(FileExists(dir.File("Kelvara8h.log6.kvtmp." + dead + ".0")));
  EXPECT_FALSE(FileExists(dir.File("KVClient.ini.kvtmp." + dead + ".12")));
  for (const char* name : kept) EXPECT_TRUE(FileExists(dir.File(name))) << name;
  EXPECT_TRUE(FileExists(mine));
  EXPECT_EQ(ReadFile(victim), "precious");
  EXPECT_TRUE(FolderExists(dir.File("folder.kvtmp." + dead + ".0")));
  EXPECT_EQ(RemoveStaleTempFiles(dir.File("missing/")), 0);
}

TEST(Files, MoveNeverOverwrites) {
  TempDir dir;
  WriteFile(dir.File("a"), "a");
  WriteFile(dir.File("b"), "b");
  EXPECT_FALSE(MoveFile(dir.File("a"), dir.File("b")));
  EXPECT_EQ(ReadFile(dir.File("b")), "b");
  EXPECT_TRUE(MoveFile(dir.File("a"), dir.File("c")));
  EXPECT_FALSE(FileExists(dir.File("a")));
  EXPECT_FALSE(MoveFile(dir.File("a"), dir.File("d")));
}

TEST(Files, CreateFolderWithParents) {
  TempDir dir;
  EXPECT_TRUE(CreateFolder(dir.File("x/y/z/"), 0700));
  EXPECT_TRUE(FolderExists(dir.File("x/y/z")));
  WriteFile(dir.File("f"), "");
  EXPECT_FALSE(CreateFolder(dir.File("f/g")));
}

TEST(InstanceLockTest, OnlyOneHolderAtATime) {
  TempDir dir;
  const std::string path = dir.File("kelvara.lock");
  {
    InstanceLock first;
    ASSERT_TRUE(first.Acquire(path));
    InstanceLock second;  // another open file description: flock conflicts like another process
    EXPECT_FALSE(second.Acquire(path));
  }
  InstanceLock third;
  EXPECT_TRUE(third.Acquire(path));
}

}  // namespace
}  // namespace kv
