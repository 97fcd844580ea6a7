#include <gtest/gtest.h>

#include "settings/IniFile.h"

namespace {

using namespace kv;

TEST(IniValue, WrittenTextIsValidUtf8WithoutControls) {
  EXPECT_EQ(CleanIniValue("Geh\xC3\xA4use"), "Geh\xC3\xA4use");
  EXPECT_EQ(CleanIniValue("Geh\xE4use"), "Geh\xC3\xA4use");
  EXPECT_EQ(CleanIniValue("\x80 euro"), "\xE2\x82\xAC euro");
  EXPECT_EQ(CleanIniValue(" a\tb\r\nc\x1B\x7F "), "a b  c");
  EXPECT_EQ(CleanIniValue("x\xC2\x85y"), "xy");  // NEL, a C1 control
  EXPECT_EQ(CleanIniValue(std::string("n\0ul", 4)), "nul");

  IniFile ini = IniFile::FromText("");
  ini.WriteString("T", "a", "\xE4\n[Forged]\nk=v");
  EXPECT_EQ(ini.ToText(), "[T]\na=\xC3\xA4 [Forged] k=v\n\n");
}

// One line in another code page leaves the UTF-8 lines as they are.
TEST(IniValue, EachLineIsDecodedOnItsOwn) {
  const IniFile ini = IniFile::FromText("[a]\nx=Geh\xC3\xA4use\ny=L\xFC" "fter\n");
  EXPECT_EQ(ini.ReadString("a", "x", ""), "Geh\xC3\xA4use");
  EXPECT_EQ(ini.ReadString("a", "y", ""), "L\xC3\xBC" "fter");
}

}  // namespace
