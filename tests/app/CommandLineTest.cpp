#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace kv {
namespace {

tCommandLine Parse(std::vector<std::string> args) { return ParseCommandLine(args); }

TEST(CommandLine, BothPrefixesAndAnyCase) {
  for (const char* arg : {"-debug", "/debug", "-DEBUG", "/DeBuG"}) EXPECT_TRUE(Parse({arg}).debug) << arg;
  EXPECT_EQ(Parse({"/CLOSE"}).oneShot, tOneShot::Close);
  EXPECT_EQ(Parse({"-Suspend"}).oneShot, tOneShot::Suspend);
  EXPECT_EQ(Parse({"/poweroff"}).oneShot, tOneShot::PowerOff);
  EXPECT_TRUE(Parse({"/ZeroValue"}).zeroValue);
  EXPECT_TRUE(Parse({"-expert"}).expert);
  EXPECT_TRUE(Parse({"/exit"}).exit);
  EXPECT_TRUE(Parse({"-CheckForUpdate"}).checkForUpdate);
  EXPECT_TRUE(Parse({"/Headless"}).headless);
}

TEST(CommandLine, UnknownAndDoubledDashIgnored) {
  const tCommandLine cl = Parse({"--close", "close", "-", "/", "-debugx", "-dontforcepo", "x"});
  EXPECT_EQ(cl.oneShot, tOneShot::None);
  EXPECT_FALSE(cl.debug);
  EXPECT_FALSE(cl.exit);
}

TEST(CommandLine, OneShotEndsBeforeLaterArguments) {
  const tCommandLine closeFirst = Parse({"-close", "-debug", "-exit"});
  EXPECT_EQ(closeFirst.oneShot, tOneShot::Close);
  EXPECT_FALSE(closeFirst.debug);
  EXPECT_FALSE(closeFirst.exit);
  const tCommandLine debugFirst = Parse({"-debug", "-close"});
  EXPECT_EQ(debugFirst.oneShot, tOneShot::Close);
  EXPECT_TRUE(debugFirst.debug);
  EXPECT_EQ(Parse({"-suspend", "-poweroff"}).oneShot, tOneShot::Suspend);
}

TEST(CommandLine, WaitTakesTheNextArgument) {
  const tCommandLine cl = Parse({"-wait", "30", "-debug"});
  EXPECT_EQ(cl.waitSeconds, 30);
  EXPECT_TRUE(cl.debug);
  EXPECT_EQ(Parse({"-debug", "-wait"}).waitSeconds, 0);  // last argument
  EXPECT_EQ(Parse({"-wait", "soon"}).waitSeconds, 0);
  EXPECT_EQ(Parse({"-wait", "12abc"}).waitSeconds, 0);
  EXPECT_EQ(Parse({"-wait", "-5"}).waitSeconds, 0);
  EXPECT_EQ(Parse({"-wait", "65535"}).waitSeconds, 65535);
  EXPECT_EQ(Parse({"-wait", "99999"}).waitSeconds, 65535);
  EXPECT_EQ(Parse({"-wait", "1", "-wait", "2"}).waitSeconds, 2);
  // The value is also examined as a switch of its own.
  const tCommandLine switchAsValue = Parse({"-wait", "-debug"});
  EXPECT_EQ(switchAsValue.waitSeconds, 0);
  EXPECT_TRUE(switchAsValue.debug);
  EXPECT_EQ(Parse({"-wait", "-close"}).oneShot, tOneShot::Close);
}

// What matched nothing is named; a switch's value and Qt's own switches (with theirs) are not.
TEST(CommandLine, IgnoredArgumentsAreTheOnesNothingTook) {
  using tArgs = std::vector<std::string>;
  const struct {
    tArgs args, ignored;
  } cases[] = {
      {{"-headless", "-debug"}, {}},
      {{"--close", "x", "-debugx", "/"}, {"--close", "x", "-debugx", "/"}},
      {{"-wait", "30", "-debug"}, {}},
      {{"-wait", "soon", "soon"}, {"soon"}},
      {{"-platform", "offscreen", "-session", "1a2b", "-reverse", "-style=fusion", "-x"}, {"-x"}},
      {{"--platform", "xcb", "-PLATFORM", "xcb"}, {"-PLATFORM", "xcb"}},  // Qt is exact about letters
      {{"-platform", "-debug"}, {}},  // still examined: the switch wins
      {{"-session"}, {}},
      {{"-x", "-close", "-y"}, {"-x"}},  // nothing after a one-shot switch is examined
  };
  for (const auto& c : cases) {
    std::string what;
    for (const std::string& a : c.args) what += a + " ";
    EXPECT_EQ(Parse(c.args).ignored, c.ignored) << what;
  }
  EXPECT_TRUE(Parse({"-platform", "-debug"}).debug);

  EXPECT_EQ(IgnoredArgumentsNote(Parse({"-debug"})), "");
  EXPECT_EQ(IgnoredArgumentsNote(Parse({"--hlep"})),
            "kelvara: ignored unknown argument \"--hlep\" (kelvara --help lists the switches)\n");
  EXPECT_EQ(IgnoredArgumentsNote(Parse({"a\x1b[2J", "b"})),
            "kelvara: ignored unknown arguments \"a?[2J\", \"b\" (kelvara --help lists the switches)\n");
}

}  // namespace
}  // namespace kv
