#include "platform/Files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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
