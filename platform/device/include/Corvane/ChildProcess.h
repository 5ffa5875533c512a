// A shell command run as a child process (a board's init script), in a process group of its own.
//
// The command runs through /bin/sh in the working directory with the server's environment. It
// gets /dev/null as standard input, one pipe as standard output and error, default signal
// handling with nothing blocked, and no other descriptor of the server: every descriptor above
// 2 is closed before exec, whatever its close-on-exec flag, so that a script (or a daemon it
// leaves behind) never holds the server's listening socket, files or shared memory.
//
// A reader thread of the object collects the output without blocking anyone and notices the
// end of the command. Stopping (stop(), or destroying the object before the command finished)
// sends SIGTERM to the whole process group, SIGKILL to the group after a short grace, and always
// reaps the child. A command that finished by itself is not stopped: processes it started in
// the background and that no longer hold its output keep running.
//
// Threading: the `onChange` callback runs on the reader thread, with no lock of this object held,
// after each piece of output and when the command has exited; it must stay callable until the
// object is destroyed. The other members may be called from any thread.
#pragma once

#include <Corvane/FileDescriptor.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include <sys/types.h>

namespace Corvane {

  class ChildProcess {
   public:
    /// Time a stopped command gets between SIGTERM and SIGKILL.
    static constexpr std::chrono::milliseconds stopGrace{200};

    /// Starts the command; throws runtime_error when it cannot be started.
    explicit ChildProcess(const std::string& shellCommand, std::function<void()> onChange = {});
    /// Stops the command if it has not finished (see stop()) and reaps the child.
    ~ChildProcess();

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    /// True once the shell has exited and its output has reached its end (a background process
    /// that still holds the output keeps the command unfinished).
    bool hasFinished() const;

    /// The output (standard output and error, interleaved as written) collected so far.
    std::string output() const;

    /// Exit code once the shell has exited normally, -1 before or when a signal ended it.
    int exitCode() const;
    /// The signal that ended the shell, 0 while it runs or when it exited normally.
    int endingSignal() const;

    /// Id of the command's process group (the shell's process id).
    pid_t processGroup() const { return _pid; }

    /// Stops what is left of the command: SIGTERM to its process group, SIGKILL to the group
    /// after `stopGrace` unless everything has ended by then, then reaps the shell. Returns at
    /// once for a command that finished by itself (it is only reaped). Idempotent.
    void stop();

   private:
    void collect();
    void notifyChange();

    pid_t _pid{-1};
    FileDescriptor _output; // read end of the command's standard output and error
    FileDescriptor _exitNotice; // becomes readable when the shell exits
    FileDescriptor _wakeReader; // ends the reader thread

    mutable std::mutex _mutex;
    std::condition_variable _changed;
    std::string _text;
    bool _exited{false};
    bool _outputEnded{false};
    bool _reaped{false};
    int _exitCode{-1};
    int _endingSignal{0};

    std::function<void()> _onChange;
    std::thread _reader; // last: started when everything above is ready
  };

} // namespace Corvane
