#include <signal.h>
#include <sys/stat.h>

#include <fstream>

#include "AlertFixture.h"
#include "alerts/AlertCommand.h"
#include "core/Process.h"
#include "core/Text.h"

namespace {

using namespace kv;
using namespace std::chrono_literals;
using kvtest::AlertTest;

std::string Script(const kvtest::TempDir& dir, const std::string& name, const std::string& body) {
  const std::string path = dir.File(name);
  kvtest::WriteFile(path, "#!/bin/sh\n" + body);
  ::chmod(path.c_str(), 0700);
  return path;
}

// Gone, or a zombie waiting for its parent: either way it runs no more.
bool Ended(int pid) {
  if (::kill(pid, 0) != 0) return true;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const size_t close = line.rfind(')');
  return close != std::string::npos && line.size() > close + 2 && line[close + 2] == 'Z';
}

TEST(SplitCommandLine, QuotesGroupAndNothingIsExpanded) {
  EXPECT_EQ(SplitCommandLine("  notify-send   -u critical "), (std::vector<std::string>{"notify-send", "-u", "critical"}));
  EXPECT_EQ(SplitCommandLine(R"("/opt/my tools/alert" 'a "b"' "c 'd'" e\ f "" $HOME;x)"),
            (std::vector<std::string>{"/opt/my tools/alert", "a \"b\"", "c 'd'", "e f", "", "$HOME;x"}));
  EXPECT_EQ(SplitCommandLine("say \"unclosed quote"), (std::vector<std::string>{"say", "unclosed quote"}));
  EXPECT_TRUE(SplitCommandLine(" \t ").empty());
}

TEST_F(AlertTest, TheCommandGetsChannelValueAndLimitAsSeparateArguments) {
  kvtest::TempDir dir;
  const std::string out = dir.File("args.txt");
  const std::string script =
      Script(dir, "record", "for a in \"$@\"; do printf '[%s]\\n' \"$a\" >> '" + out + "'; done\n");
  tAlertActions& act = Act();
  Settings.AlertNotify = false;
  Settings.AlertCommand = "'" + script + "' --from \"kelvara alerts\"";
  Settings.AlertPasses = 1;
  Settings.TCfg[0].Name = "CPU \"hot\"; rm -rf '" + dir.Path() + "' $(id)";
  Settings.TCfg[0].AlertHigh = 8000;
  Process.HeadlessMode = true;
  testing::internal::CaptureStderr();
  PassT1(8500);
  const std::string err = testing::internal::GetCapturedStderr();
  Process.HeadlessMode = false;
  EXPECT_EQ(err, "kelvara: Alert: " + Settings.TCfg[0].Name + " above 80 °C (now 85 °C)\n");
  ASSERT_TRUE(kvtest::SpinUntil([&act] { return !act.Command().Running(); }, 5s));
  EXPECT_EQ(kvtest::ReadFile(out),
            "[--from]\n[kelvara alerts]\n[start]\n[" + Settings.TCfg[0].Name + "]\n[85 °C]\n[80 °C]\n");
  EXPECT_NE(Log().find("Alert: " + Settings.TCfg[0].Name), std::string::npos);  // event log and status line
}

TEST_F(AlertTest, ACommandThatSleepsForeverIsKilledWithItsChildrenAtTheTimeOut) {
  kvtest::TempDir dir;
  const std::string pidFile = dir.File("child");
  const std::string script = Script(dir, "hang", "sleep 100000 &\necho $! > '" + pidFile + "'\nwait\n");
  tAlertCommand command;
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(command.Run({script}, 400ms));
  const int pid = command.Pid();
  ASSERT_TRUE(kvtest::SpinUntil([&] { return !Trim(kvtest::ReadFile(pidFile)).empty(); }, 5s));
  const int child = std::stoi(kvtest::ReadFile(pidFile));

  // Never a second run while the first goes.
  EXPECT_FALSE(command.Run({script}, 400ms));
  EXPECT_EQ(command.Pid(), pid);
  EXPECT_NE(Log().find("still runs"), std::string::npos);

  ASSERT_TRUE(kvtest::SpinUntil([&] { return !command.Running(); }, 5s));
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_GE(took, 400ms);
  EXPECT_LT(took, 3s);
  EXPECT_TRUE(Ended(pid));
  EXPECT_TRUE(kvtest::SpinUntil([&] { return Ended(child); }, 2s)) << "the script's sleep survived";

  // After the kill a new run may start, and stopping ends it at once.
  ASSERT_TRUE(command.Run({script}, 60s));
  const int second = command.Pid();
  command.Stop();
  EXPECT_FALSE(command.Running());
  EXPECT_TRUE(Ended(second));
}

TEST_F(AlertTest, ACommandThatCannotStartIsLoggedAndLaterRunsStillStart) {
  tAlertCommand command;
  EXPECT_FALSE(command.Run({"/nonexistent/alert-command"}, 1s));
  EXPECT_FALSE(command.Running());
  EXPECT_NE(Log().find("al2 "), std::string::npos);
  ASSERT_TRUE(command.Run({"true"}, 5s));
  EXPECT_TRUE(kvtest::SpinUntil([&] { return !command.Running(); }, 5s));
}

}  // namespace
