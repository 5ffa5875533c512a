// The real station server as a child process for the soak benchmark: started in a scratch copy of
// the simulated station (its controller a plain dummy device), listening on a free loopback port, its output going to files there;
// what the kernel says about it (resident memory, descriptors, threads) read from /proc.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

#include <sys/types.h>

namespace soak {

  /// Figures of a running process from /proc/<pid>.
  struct ProcessFigures {
    std::uint64_t residentKiB{0};     ///< VmRSS
    std::uint64_t peakResidentKiB{0}; ///< VmHWM
    std::uint64_t threads{0};
    std::uint64_t descriptors{0};     ///< entries of /proc/<pid>/fd
    std::uint64_t sockets{0};         ///< of them, sockets
  };

  /// Makes the controller of a station's device map a plain dummy device in place of the
  /// simulated board (type SISLDummy, which paces its own trigger at 10 Hz), so that the trigger
  /// is free for the benchmark's driver; the board's second alias "CtrlBoard" goes.
  void replaceSimulatedController(const std::filesystem::path& deviceMap);

  class ServerProcess {
   public:
    /// Copies `stationDirectory` into a new directory below the system's temporary directory and
    /// starts `program` there. Throws std::runtime_error when the copy or the start fails.
    ServerProcess(const std::filesystem::path& program, const std::filesystem::path& stationDirectory);
    /// Kills the server if it still runs; removes the scratch directory unless keep() was called.
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    /// Waits, at most `limit`, until the server says where it listens; its port. Throws when it
    /// ends or stays silent.
    std::uint16_t waitUntilListening(std::chrono::seconds limit);
    /// SIGTERM, then waits at most `limit`; the exit status, or -1 when it did not end in time.
    int stop(std::chrono::seconds limit);

    ProcessFigures figures() const;
    pid_t pid() const { return _pid; }
    const std::filesystem::path& directory() const { return _directory; }
    std::string output() const;
    void keep() { _keep = true; }

   private:
    bool hasEnded();

    std::filesystem::path _directory;
    pid_t _pid{-1};
    int _status{0};
    bool _ended{false};
    bool _keep{false};
  };

} // namespace soak
