#include "Corvane/ChildProcess.h"

#include "Corvane/Exception.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace Corvane {

  namespace {
    std::string systemError(const std::string& what, int error) { return what + ": " + std::strerror(error); }

    /// A descriptor numbered above the standard streams, so that the child's redirections onto
    /// 0, 1 and 2 never overwrite it (the server may run with a standard stream closed).
    FileDescriptor aboveStandardStreams(int fd) {
      FileDescriptor owned(fd);
      if(fd > STDERR_FILENO) return owned;
      return FileDescriptor(::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1));
    }

    /// posix_spawn's attributes and file actions, released on every path.
    struct SpawnSetup {
      posix_spawnattr_t attributes{};
      posix_spawn_file_actions_t actions{};
      SpawnSetup() {
        posix_spawnattr_init(&attributes);
        posix_spawn_file_actions_init(&actions);
      }
      ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
      }
      SpawnSetup(const SpawnSetup&) = delete;
      SpawnSetup& operator=(const SpawnSetup&) = delete;
    };
  } // namespace

  ChildProcess::ChildProcess(const std::string& shellCommand, std::function<void()> onChange)
  : _onChange(std::move(onChange)) {
    const std::string what = "cannot start '" + shellCommand + "'";
    std::array<int, 2> ends{};
    if(::pipe2(ends.data(), O_CLOEXEC) != 0) throw runtime_error(systemError(what, errno));
    _output = aboveStandardStreams(ends[0]);
    auto writeEnd = aboveStandardStreams(ends[1]);
    if(!_output || !writeEnd) throw runtime_error(systemError(what, errno));
    // only our end reads without blocking; the child's end stays an ordinary blocking pipe
    ::fcntl(_output.get(), F_SETFL, ::fcntl(_output.get(), F_GETFL) | O_NONBLOCK);
    _wakeReader = FileDescriptor(::eventfd(0, EFD_CLOEXEC));
    if(!_wakeReader) throw runtime_error(systemError(what, errno));

    SpawnSetup setup;
    // a process group of its own, so that stopping reaches everything the command started
    posix_spawnattr_setpgroup(&setup.attributes, 0);
    // the server's blocked and ignored signals (SIGPIPE) are not the script's business
    sigset_t noSignals, allSignals;
    sigemptyset(&noSignals);
    sigfillset(&allSignals);
    sigdelset(&allSignals, SIGKILL);
    sigdelset(&allSignals, SIGSTOP);
    posix_spawnattr_setsigmask(&setup.attributes, &noSignals);
    posix_spawnattr_setsigdefault(&setup.attributes, &allSignals);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&setup.actions, writeEnd.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&setup.actions, writeEnd.get(), STDERR_FILENO);
    // nothing else of the server: not even descriptors some library left without close-on-exec
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, STDERR_FILENO + 1);

    std::string shell = "/bin/sh", option = "-c", command = shellCommand;
    std::array<char*, 4> argv{shell.data(), option.data(), command.data(), nullptr};
    int error = ::posix_spawn(&_pid, shell.c_str(), &setup.actions, &setup.attributes, argv.data(), environ);
    if(error != 0) {
      _pid = -1;
      throw runtime_error(systemError(what, error));
    }
    writeEnd.reset(); // the child's copies are the only writers now: their end is our end of output

    // the shell stays unreaped until stop(): while it is a zombie its id, which is also the id of
    // its process group, cannot be given to another process that a signal to the group would hit
    _exitNotice = FileDescriptor(static_cast<int>(::syscall(SYS_pidfd_open, _pid, 0)));
    if(!_exitNotice) {
      error = errno;
      ::kill(-_pid, SIGKILL);
      ::waitpid(_pid, nullptr, 0);
      _pid = -1;
      throw runtime_error(systemError(what + " (cannot watch the process)", error));
    }
    _reader = std::thread([this] { collect(); });
  }

  ChildProcess::~ChildProcess() { stop(); }

  bool ChildProcess::hasFinished() const {
    std::lock_guard lock(_mutex);
    return _exited && _outputEnded;
  }

  std::string ChildProcess::output() const {
    std::lock_guard lock(_mutex);
    return _text;
  }

  int ChildProcess::exitCode() const {
    std::lock_guard lock(_mutex);
    return _exitCode;
  }

  int ChildProcess::endingSignal() const {
    std::lock_guard lock(_mutex);
    return _endingSignal;
  }

  void ChildProcess::notifyChange() {
    _changed.notify_all();
    if(_onChange) _onChange();
  }

  void ChildProcess::collect() {
    std::array<char, 4096> buffer{};
    std::array<pollfd, 3> watched{};
    watched[0] = {_output.get(), POLLIN, 0};
    watched[1] = {_exitNotice.get(), POLLIN, 0};
    watched[2] = {_wakeReader.get(), POLLIN, 0};
    while(watched[0].fd >= 0 || watched[1].fd >= 0) {
      if(::poll(watched.data(), watched.size(), -1) < 0) {
        if(errno == EINTR) continue;
        break; // cannot happen with valid descriptors; stop() still ends and reaps the command
      }
      if(watched[2].revents != 0) break;
      bool changed = false;
      if(watched[0].revents != 0) {
        auto n = ::read(_output.get(), buffer.data(), buffer.size());
        if(n > 0) {
          std::lock_guard lock(_mutex);
          _text.append(buffer.data(), static_cast<std::size_t>(n));
        }
        else if(n == 0 || (errno != EAGAIN && errno != EINTR)) {
          std::lock_guard lock(_mutex);
          _outputEnded = true;
          watched[0].fd = -1; // poll ignores negative descriptors
        }
        changed = true;
      }
      if(watched[1].revents != 0) {
        siginfo_t info{};
        // WNOWAIT: the shell is reaped by stop() only (see the constructor)
        if(::waitid(P_PID, static_cast<id_t>(_pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == _pid) {
          std::lock_guard lock(_mutex);
          _exited = true;
          if(info.si_code == CLD_EXITED) _exitCode = info.si_status;
          else _endingSignal = info.si_status;
          watched[1].fd = -1;
          changed = true;
        }
      }
      if(changed) notifyChange();
    }
  }

  void ChildProcess::stop() {
    if(_pid <= 0) return;
    std::unique_lock lock(_mutex);
    if(_reaped) return;
    if(!(_exited && _outputEnded)) {
      lock.unlock();
      ::kill(-_pid, SIGTERM);
      lock.lock();
      _changed.wait_for(lock, stopGrace, [&] { return _exited && _outputEnded; });
      lock.unlock();
      // whatever of the group is left; the group's id is still ours, the shell being unreaped.
      // The shell itself too, should the command have moved it to another group.
      ::kill(-_pid, SIGKILL);
      ::kill(_pid, SIGKILL);
    }
    else {
      lock.unlock();
    }
    std::uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(_wakeReader.get(), &one, sizeof one);
    if(_reader.joinable()) _reader.join();
    int status = 0;
    pid_t reaped;
    do {
      reaped = ::waitpid(_pid, &status, 0);
    } while(reaped < 0 && errno == EINTR);
    lock.lock();
    if(!_exited && reaped == _pid) {
      _exited = true;
      if(WIFEXITED(status)) _exitCode = WEXITSTATUS(status);
      else if(WIFSIGNALED(status)) _endingSignal = WTERMSIG(status);
    }
    _reaped = true;
  }

} // namespace Corvane
