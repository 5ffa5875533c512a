// Turns SIGINT and SIGTERM into a call in an ordinary thread: the signal handler only writes
// the signal number into a pipe, a watcher thread reads it and calls the callback. The previous
// handlers are restored when the watcher is destroyed.
#pragma once

#include <csignal>
#include <functional>
#include <thread>

namespace Corvane::Cs {

  class SignalWatcher {
   public:
    explicit SignalWatcher(std::function<void(int)> callback);
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

   private:
    std::function<void(int)> _callback;
    int _pipe[2]{-1, -1};
    struct sigaction _previousInt{};
    struct sigaction _previousTerm{};
    std::thread _thread;
  };

} // namespace Corvane::Cs
