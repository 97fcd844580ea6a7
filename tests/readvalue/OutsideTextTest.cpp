#include <gtest/gtest.h>

#include "readvalue/SourceFields.h"

namespace {

using kv::OutsideText;

TEST(OutsideText, KeepsUtf8DecodesWindows1252AndDropsControls) {
  EXPECT_EQ(OutsideText("CPU Temp"), "CPU Temp");
  EXPECT_EQ(OutsideText("Geh\xc3\xa4use \xe2\x82\xac \xf0\x9f\x94\xa5"), "Geh\xc3\xa4use \xe2\x82\xac \xf0\x9f\x94\xa5");
  EXPECT_EQ(OutsideText("Geh\xe4use"), "Geh\xc3\xa4use");
  EXPECT_EQ(OutsideText("\x80 \x99 \xff"), "\xe2\x82\xac \xe2\x84\xa2 \xc3\xbf");
  EXPECT_EQ(OutsideText("a\x81\x8d\x8f\x90\x9d" "b"), "ab");  // unassigned in Windows-1252
  EXPECT_EQ(OutsideText(std::string("a\0b\x01\x1f\x7f\tc", 8)), "abc");
  EXPECT_EQ(OutsideText("a\xc2\x85" "b"), "ab");  // a C1 control in valid UTF-8
  // Overlong forms, surrogates and truncated sequences are not UTF-8: each byte is a character.
  EXPECT_EQ(OutsideText("\xc0\xaf"), "\xc3\x80\xc2\xaf");
  EXPECT_EQ(OutsideText("\xed\xa0\x80"), "\xc3\xad\xc2\xa0\xe2\x82\xac");
  EXPECT_EQ(OutsideText("x\xc3"), "x\xc3\x83");
  EXPECT_EQ(OutsideText(""), "");
}

}  // namespace
