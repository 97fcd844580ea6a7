#include "support/ChildProcess.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <exception>

namespace kvtest {

tChildRun RunChild(const std::function<int()>& child, int seconds) {
  int fds[2];
  if (::pipe(fds) != 0) return {-1, "pipe failed"};
  std::fflush(nullptr);  // the child would write the parent's buffered output a second time
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return {-1, "fork failed"};
  }
  if (pid == 0) {
    ::close(fds[0]);
    ::dup2(fds[1], STDOUT_FILENO);
    ::close(fds[1]);
    int code = 1;
    try {
      code = child();
    } catch (const std::exception& e) {
      std::printf("\nexception: %s\n", e.what());
    }
    std::fflush(stdout);
    ::_exit(code);
  }
  ::close(fds[1]);
  tChildRun run;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  char buffer[4096];
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fds[0], POLLIN, 0};
    const int ready = ::poll(&p, 1, 200);
    if (ready < 0) break;
    if (ready == 0) continue;
    const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    run.out.append(buffer, static_cast<size_t>(n));
  }
  ::close(fds[0]);
  int status = 0;
  pid_t ended = 0;
  while ((ended = ::waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
    ::usleep(10000);
  if (ended == 0) {  // hung
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  if (WIFEXITED(status)) run.code = WEXITSTATUS(status);
  return run;
}

int Exec(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  ::execv(args[0], args.data());
  std::printf("exec %s failed\n", argv.front().c_str());
  return 3;
}

}  // namespace kvtest
