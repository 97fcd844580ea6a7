#include "alerts/AlertCommand.h"

#include <signal.h>

#include <QTimer>

#include "core/EventLog.h"
#include "system/Processes.h"

namespace kv {

std::vector<std::string> SplitCommandLine(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quote == '\'') {
      if (c == '\'') quote = 0;
      else word += c;
    } else if (c == '\\' && i + 1 < text.size()) {
      word += text[++i];
      inWord = true;
    } else if (quote == '"') {
      if (c == '"') quote = 0;
      else word += c;
    } else if (c == '"' || c == '\'') {
      quote = c;
      inWord = true;
    } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

tAlertCommand::tAlertCommand() = default;

tAlertCommand::~tAlertCommand() = default;

bool tAlertCommand::Running() {
  if (pid_ > 0 && !IsRunning(pid_)) pid_ = 0;
  return pid_ > 0;
}

bool tAlertCommand::Run(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                        const std::string& workingDir) {
  KillIfOverdue();
  if (Running()) {
    LogEvent("The alert command still runs (pid " + std::to_string(pid_) + "); not started again");
    return false;
  }
  pid_ = StartHidden(argv, workingDir);
  if (pid_ <= 0) {
    pid_ = 0;
    LogEvent("al2 cannot start the alert command " + (argv.empty() ? std::string() : argv[0]));
    return false;
  }
  deadline_ = std::chrono::steady_clock::now() + timeout;
  if (!timer_) {
    timer_ = std::make_unique<QTimer>();
    timer_->setSingleShot(true);
    QObject::connect(timer_.get(), &QTimer::timeout, [this] {
      // A timer may fire a little early: then it waits for the rest.
      if (!KillIfOverdue() && Running())
        timer_->start(std::chrono::ceil<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now()) +
                      std::chrono::milliseconds(1));
    });
  }
  timer_->start(timeout);
  return true;
}

bool tAlertCommand::KillIfOverdue() {
  if (!Running() || std::chrono::steady_clock::now() < deadline_) return false;
  LogEvent("al3 the alert command outlived its time-out");
  Kill();
  return true;
}

void tAlertCommand::Stop() {
  if (Running()) Kill();
}

void tAlertCommand::Kill() {
  // It runs in a session of its own: the whole group goes, so a script's children go with it.
  // The pid is ours and not yet reaped, so the group cannot belong to anybody else.
  ::kill(-pid_, SIGKILL);
  KillProcess(pid_);
  pid_ = 0;
  if (timer_) timer_->stop();
}

}  // namespace kv
