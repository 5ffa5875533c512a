// Runs the module tasks of an application on a few worker threads.
//
// Every task belongs to an execution group; all tasks of a group run as fibers on one worker,
// and the groups are dealt to the workers in the order in which they first appear (group k on
// worker k mod workers). A worker runs its ready tasks first come, first run; a task suspends
// only itself when it waits (TaskCondition.h). A task that blocks outside the framework asks
// for a thread of its own. With one worker, all shared tasks run in a defined order: the order
// of the task list at start, then the order in which they become ready.
//
// A watchdog names a task that keeps its worker longer than the yield limit without waiting:
// the other tasks of that worker cannot run meanwhile.
//
// Sanitizer builds run every task on a thread of its own (cooperativeTasks is false there).
#pragma once

#include "Corvane/detail/WorkerStatus.h"

#include <sched.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Corvane::detail {

  class Executor {
   public:
    struct Settings {
      std::size_t workers{0}; // 0: as many as the process has processors
      std::chrono::milliseconds yieldLimit{2000};
      std::size_t stackBytes{2 * 1024 * 1024};
      /// When there are at least as many workers as processors the process may use, keeps worker
      /// k on the k-th of them (modulo their number). Tasks of different workers wake each other
      /// through Boost.Fiber's spin locks: two workers that share a processor, or one moved away
      /// while it holds such a lock, make the other spin for the rest of its time slice. Off by
      /// default: the table writers' firmware handshake stalls more often with it.
      bool pinWorkers{false};
    };

    struct Task {
      std::string name; // the module's path, for reports and thread names
      std::string group;
      bool ownThread{false};
      std::function<void()> body; // must not throw
    };

    /// Called by the watchdog (on its thread) when `task` kept its worker for `held`.
    using StallReport = std::function<void(const std::string& task, std::chrono::milliseconds held)>;

    Executor(Settings settings, StallReport stallReport);
    /// Joins every thread (the tasks must have been asked to end).
    ~Executor();
    Executor(const Executor&) = delete;
    Executor& operator=(const Executor&) = delete;

    /// Starts the threads and the tasks; may be called once.
    void start(std::vector<Task> tasks);

    /// Waits until every task has ended. Called from one of the executor's own threads (a task
    /// ending the process), that thread is left running instead.
    void join();

    /// Number of threads running tasks (workers and tasks with threads of their own).
    std::size_t threadCount() const { return _workers.size() + _ownThreads.size(); }
    std::size_t workerCount() const { return _workers.size(); }

    /// The default number of workers: the processors the process may run on (at least one).
    static std::size_t defaultWorkers();

   private:
    struct Worker {
      std::vector<Task> tasks;
      WorkerStatus status;
      std::thread thread;
    };

    void runWorker(Worker& worker);
    void watch();
    void stopWatchdog();

    Settings _settings;
    StallReport _stallReport;
    std::list<Worker> _workers; // stable addresses: the threads refer to their worker
    cpu_set_t _processors{};    // the processors the process may use at start()
    bool _pinned{false};        // workers kept one per processor (see pinWorkers)
    std::list<Task> _ownThreadTasks;
    std::vector<std::thread> _ownThreads;
    std::thread _watchdog;
    std::mutex _watchdogMutex;
    std::condition_variable _watchdogWake;
    bool _watchdogStop{false};
  };

  /// Names the calling thread after the end of `path` (tools show at most 15 characters).
  void nameThread(const std::string& path);

} // namespace Corvane::detail
