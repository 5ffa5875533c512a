// A function run in a forked child process. wait() returns its exit code, waiting a bounded
// time (the child is killed then); a child still running when the object goes is killed.
// The child ends with _exit, so nothing of the test program's shutdown runs twice.
#pragma once

#include <functional>
#include <stdexcept>

#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace CorvaneTest {

  class ChildProcess {
   public:
    explicit ChildProcess(const std::function<int()>& body) {
      int pipeFds[2];
      if(::pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
      _pid = ::fork();
      if(_pid < 0) throw std::runtime_error("fork failed");
      if(_pid == 0) {
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
      _endOfLife = pipeFds[0];
    }

    ~ChildProcess() {
      if(_pid > 0) wait(0);
    }

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    /// True once the child has ended (does not wait).
    bool hasEnded() const { return ended(0); }

    /// Exit code, or -1 when the child did not end within `timeoutMs` (it is killed then).
    int wait(int timeoutMs = 10000) {
      bool done = ended(timeoutMs);
      ::close(_endOfLife);
      if(!done) ::kill(_pid, SIGKILL);
      int status = 0;
      ::waitpid(_pid, &status, 0);
      _pid = -1;
      return (done && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    }

   private:
    bool ended(int timeoutMs) const {
      pollfd end{_endOfLife, POLLIN, 0};
      return ::poll(&end, 1, timeoutMs) > 0;
    }

    pid_t _pid{-1};
    int _endOfLife{-1};
  };

  /// Exit code of `body` run in a child, or -1 when it did not end within `timeoutMs`.
  inline int runInChild(const std::function<int()>& body, int timeoutMs = 10000) {
    return ChildProcess(body).wait(timeoutMs);
  }

} // namespace CorvaneTest
