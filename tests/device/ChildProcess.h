// Runs a function in a forked child process and returns its exit code, waiting at most a
// bounded time (the child is killed then). The child ends with _exit, so nothing of the test
// program's shutdown runs twice.
#pragma once

#include <functional>
#include <stdexcept>

#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace CorvaneTest {

  /// Exit code of `body` run in a child, or -1 when it did not end within `timeoutMs`.
  inline int runInChild(const std::function<int()>& body, int timeoutMs = 10000) {
    int pipeFds[2];
    if(::pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
    pid_t pid = ::fork();
    if(pid < 0) throw std::runtime_error("fork failed");
    if(pid == 0) {
      ::close(pipeFds[0]);
      int code = 99;
      try {
        code = body();
      }
      catch(...) {
        code = 98;
      }
      ::_exit(code); // closes the pipe: the parent sees the end
    }
    ::close(pipeFds[1]);
    pollfd end{pipeFds[0], POLLIN, 0};
    int ready = ::poll(&end, 1, timeoutMs);
    ::close(pipeFds[0]);
    if(ready <= 0) ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if(ready <= 0 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }

} // namespace CorvaneTest
