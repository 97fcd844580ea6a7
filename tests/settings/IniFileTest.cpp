#include <gtest/gtest.h>

#include <sys/stat.h>

#include "settings/IniFile.h"
#include "support/TestSupport.h"

namespace {

using namespace kv;

TEST(IniFile, ReadsLinesByTheFormatRules) {
  const IniFile ini = IniFile::FromText(
      "orphan=before any section\r\n"
      "  [ Misc ]  \r\n"
      "; a comment=1\r\n"
      "\tKey One  =  spaced value \t\r\n"
      "url=a=b=c\r\n"
      "noequals\r\n"
      "[misc]\n"
      "later=2\n");
  EXPECT_EQ(ini.Sections(), std::vector<std::string>{"Misc"});
  EXPECT_EQ(ini.ReadString("MISC", "key one", "?"), "spaced value");
  EXPECT_EQ(ini.ReadString("Misc", "url", "?"), "a=b=c");
  EXPECT_EQ(ini.ReadString("Misc", "later", "?"), "2");
  EXPECT_FALSE(ini.ValueExists("Misc", "orphan"));
  EXPECT_FALSE(ini.ValueExists("Misc", "; a comment"));
  EXPECT_EQ(ini.ReadString("Other", "x", "dflt"), "dflt");
}

TEST(IniFile, IntegerRules) {
  const IniFile ini = IniFile::FromText(
      "[N]\na=-42\nb=0x1F\nc=$ff\nd=0x\ne=12abc\nf=\ng=99999999999\nh=$FFFFFFFF\n");
  EXPECT_EQ(ini.ReadInteger("N", "a", 7), -42);
  EXPECT_EQ(ini.ReadInteger("N", "b", 7), 31);
  EXPECT_EQ(ini.ReadInteger("N", "c", 7), 255);
  EXPECT_EQ(ini.ReadInteger("N", "d", 7), 7);  // "0x" alone is not more than two characters
  EXPECT_EQ(ini.ReadInteger("N", "e", 7), 7);
  EXPECT_EQ(ini.ReadInteger("N", "f", 7), 7);
  EXPECT_EQ(ini.ReadInteger("N", "g", 7), 7);
  EXPECT_EQ(ini.ReadInteger("N", "h", 7), -1);
  EXPECT_EQ(ini.ReadInteger("N", "missing", 7), 7);
  EXPECT_TRUE(ini.ReadBool("N", "c", false));
  EXPECT_FALSE(IniFile::FromText("[N]\nz=0\n").ReadBool("N", "z", true));
}

TEST(IniFile, FloatsUseACommaBothWays) {
  const IniFile ini = IniFile::FromText("[F]\ncomma=0,5\npoint=0.5\nword=abc\nneg=-2,25\n");
  EXPECT_DOUBLE_EQ(ini.ReadFloat("F", "comma", 9), 0.5);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("F", "point", 9), 9);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("F", "word", 9), 9);
  EXPECT_DOUBLE_EQ(ini.ReadFloat("F", "neg", 9), -2.25);
  EXPECT_EQ(FormatIniFloat(2), "2");
  EXPECT_EQ(FormatIniFloat(0.5), "0,5");
  EXPECT_EQ(FormatIniFloat(81920), "81920");
  IniFile out = IniFile::FromText("");
  out.WriteFloat("F", "x", 1.0 / 3);
  EXPECT_NEAR(out.ReadFloat("F", "x", 0), 1.0 / 3, 1e-14);
}

TEST(IniFile, WritesKeepOrderAppendAndDropComments) {
  kvtest::TempDir dir;
  kvtest::WriteFile(dir.File("a.ini"),
                    "; header comment\nstray=1\n[One]\nx=1\n; inner\ny=2\n[Two]\nz=3\n");
  IniFile ini(dir.File("a.ini"));
  ini.WriteString("one", "Y", "20");   // existing key keeps its place and spelling
  ini.WriteString("One", "new", "n");  // new key at the end of its section
  ini.WriteString("Three", "w", "4");  // new section at the end of the file
  ini.DeleteKey("Two", "z");
  ASSERT_TRUE(ini.UpdateFile());
  EXPECT_EQ(kvtest::ReadFile(dir.File("a.ini")),
            "[One]\nx=1\ny=20\nnew=n\n\n[Two]\n\n[Three]\nw=4\n\n");
}

TEST(IniFile, ValueWithLineBreakCannotForgeKeys) {
  IniFile ini = IniFile::FromText("");
  ini.WriteString("S", "name", "CPU\n[Evil]\nkey=1");
  const IniFile again = IniFile::FromText(ini.ToText());
  EXPECT_FALSE(again.SectionExists("Evil"));
  EXPECT_EQ(again.ReadString("S", "name", ""), "CPU [Evil] key=1");
}

TEST(IniFile, MissingOrBinaryFilesReadAsEmptyOrDefaults) {
  kvtest::TempDir dir;
  EXPECT_TRUE(IniFile(dir.File("none.ini")).Sections().empty());
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary.push_back(static_cast<char>((i * 131) % 256));
  kvtest::WriteFile(dir.File("bin.ini"), binary);
  const IniFile ini(dir.File("bin.ini"));
  EXPECT_EQ(ini.ReadInteger("Misc", "ReadTemp", 20000), 20000);
}

TEST(IniFile, ByteOrderMarkLeavesTheFirstSection) {
  const IniFile ini = IniFile::FromText("\xEF\xBB\xBF[Misc]\r\nReadTemp=5000\r\n");
  EXPECT_EQ(ini.ReadInteger("Misc", "ReadTemp", 0), 5000);
}

TEST(IniFile, Windows1252TextIsDecoded) {
  const IniFile ini = IniFile::FromText("[Messages]\nFans=L\xFC" "fter\n");
  EXPECT_EQ(ini.ReadString("Messages", "Fans", ""), "L\xC3\xBC" "fter");
}

TEST(IniFile, UpdateFileKeepsModeAndOldFileOnFailure) {
  kvtest::TempDir dir;
  IniFile ini(dir.File("s.ini"));
  ini.WriteString("A", "b", "c");
  ASSERT_TRUE(ini.UpdateFile(0600));
  struct stat st {};
  ASSERT_EQ(stat(dir.File("s.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  IniFile lost(dir.File("no/such/folder/s.ini"));
  lost.WriteString("A", "b", "c");
  EXPECT_FALSE(lost.UpdateFile());
}

}  // namespace
