#include <gtest/gtest.h>

#include <cstdint>

#include "core/EventLog.h"
#include "settings/Scramble.h"
#include "support/TestSupport.h"

namespace {

using namespace kv;

// Independent model of the scrambled bytes: the key byte taken by division, the wrap left to
// unsigned 64-bit arithmetic.
std::string ReferenceScrambledBytes(const std::string& text) {
  uint64_t k = 41263;
  std::string out;
  for (unsigned char b : text) {
    const unsigned char c = b ^ static_cast<unsigned char>((k / 256) % 256);
    out.push_back(static_cast<char>(c));
    k = (k + c) * 36017u + 19457u;
  }
  return out;
}

TEST(Scramble, WorkedExamples) {
  // "A": K = 41263 = 0xA12F, key byte 0xA1, 0x41 ^ 0xA1 = 0xE0 -> "4A==".
  EXPECT_EQ(ScramblePassword("A"), "4A==");
  // Then K = (41263 + 0xE0) * 36017 + 19457 = 1494256736, key byte 0x8C, 0x42 ^ 0x8C = 0xCE.
  EXPECT_EQ(ScramblePassword("AB"), "4M4=");
  EXPECT_EQ(UnscramblePassword("4M4="), "AB");
  EXPECT_EQ(ScramblePassword(""), "");
  EXPECT_EQ(UnscramblePassword(""), "");
}

TEST(Scramble, MatchesReferenceAndRoundTripsEveryLength) {
  for (size_t len = 0; len <= 300; ++len) {
    std::string text;
    for (size_t i = 0; i < len; ++i) text.push_back(static_cast<char>((i * 37 + len) % 256));
    const std::string stored = ScramblePassword(text);
    ASSERT_EQ(stored, Base64Encode(ReferenceScrambledBytes(text))) << "length " << len;
    ASSERT_EQ(UnscramblePassword(stored), text) << "length " << len;
  }
}

TEST(Base64, Rfc4648Vectors) {
  const std::pair<const char*, const char*> vectors[] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},        {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [plain, encoded] : vectors) {
    EXPECT_EQ(Base64Encode(plain), encoded);
    EXPECT_EQ(Base64Decode(encoded), std::string(plain));
  }
  EXPECT_EQ(Base64Encode("\xFB\xFF"), "+/8=");
}

TEST(Base64, RejectsMalformedText) {
  for (const char* bad : {"Zg=", "Z===", "Zg==Zg==", "Zm9v!A==", "=Zm9", "Zm=v"})
    EXPECT_FALSE(Base64Decode(bad).has_value()) << bad;
}

TEST(Scramble, BrokenStoredValueGivesEmptyPasswordAndIsLogged) {
  kvtest::TempDir dir;
  SetEventLogPath(dir.File("log.txt"));
  SetDebugMode(true);
  EXPECT_EQ(UnscramblePassword("not base64!"), "");
  SetDebugMode(false);
  EXPECT_NE(kvtest::ReadFile(dir.File("log.txt")).find("dec1 "), std::string::npos);
}

}  // namespace
