// Run-time coordination of one application's module tasks: shutdown, the clock, the per-module
// inboxes on which tasks wait, and the bookkeeping that lets the test facility decide that the
// application is idle. A task is a module's main loop; it runs as a fiber on a worker thread or
// on a thread of its own (Executor.h), and every wait here suspends only the task.
#pragma once

#include "Corvane/Time.h"
#include "Corvane/detail/TaskCondition.h"
#include "Corvane/detail/TaskParking.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Corvane {
  class WakeUpBatch;
}

namespace Corvane::detail {

  class Scheduler;

  /// Thrown inside a module thread when the application shuts down; ends the thread quietly.
  /// Deliberately not derived from std::exception, so module code catching those lets it pass.
  struct ThreadInterrupted {};

  /// The receiving side of one module task: every channel of the module delivers under this
  /// mutex and then wakes the task (wake()). The task waits for deliveries parked (TaskParking),
  /// and for time or things outside the framework on the condition variable.
  struct Inbox {
    enum class State { idleNotStarted, running, waiting, released, ended };

    explicit Inbox(Scheduler* scheduler_, std::string name_) : scheduler(scheduler_), name(std::move(name_)) {}

    /// Blocks until pred() holds (checked under the mutex). Throws ThreadInterrupted at shutdown.
    void wait(std::unique_lock<std::mutex>& lock, const std::function<bool()>& pred);

    /// Waits until `deadline` of the application clock, interruptible by shutdown.
    void sleepUntil(SteadyClock::time_point deadline);

    /// Waits for something outside the framework (a child process) that notifies `cv`: until
    /// pred() holds or `realDeadline` of the real steady clock passes (real time also in test
    /// mode, as the awaited thing runs in real time). The thread counts as busy for the test
    /// facility meanwhile. Returns pred(); throws ThreadInterrupted at shutdown.
    bool waitForOutside(std::unique_lock<std::mutex>& lock, const std::function<bool()>& pred,
        SteadyClock::time_point realDeadline);

    /// True when this thread is not doing anything the test facility must wait for.
    bool isIdle();

    /// Whether a delivery must wake the thread: false only while it waits in wait() for a
    /// condition that is still false. Caller holds the mutex.
    bool wakesFor() const { return state != State::waiting || !waitPredicate || (*waitPredicate)(); }

    void setState(State newState);

    /// Wakes the task wherever it waits on this inbox. Callable with or without the mutex held.
    void wake() noexcept {
      parking.wake();
      cv.notify_all();
    }

    std::mutex mutex;
    TaskParking parking; // waits for deliveries
    TaskCondition cv;    // timed waits and waits for things outside the framework
    std::uint64_t sequence{0};
    Scheduler* scheduler;
    std::string name;
    State state{State::idleNotStarted};
    const std::function<bool()>* waitPredicate{nullptr};
  };

  class Scheduler {
   public:
    std::shared_ptr<Inbox> makeInbox(const std::string& name);

    /// Something changed that may end idleness or make it (a delivery, a thread state change).
    void touch() { generation.fetch_add(1, std::memory_order_acq_rel); }
    void touchAndNotify();

    void requestShutdown();
    bool isShuttingDown() const { return shuttingDown.load(std::memory_order_acquire); }

    /// Test mode: the clock stands still until advanceTime().
    void enableTestMode();
    bool inTestMode() const { return testMode; }
    SteadyClock::time_point now() const;
    void advanceTime(SteadyClock::duration d);

    /// Waits until every module thread is idle and nothing changes any more. Returns false when
    /// the bound `timeout` passes (a thread that keeps running, e.g. a busy loop).
    bool waitUntilIdle(std::chrono::milliseconds timeout);

    void notifyAll();

    std::atomic<std::uint64_t> lostTransfers{0};

   private:
    std::atomic<std::uint64_t> generation{0};
    std::atomic<bool> shuttingDown{false};
    bool testMode{false};
    std::atomic<SteadyClock::rep> virtualNow{0};
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::weak_ptr<Inbox>> inboxes;
  };

  /// The framework's state of one task (of one plain thread outside tasks).
  struct TaskLocals {
    Inbox* inbox{nullptr};
    WakeUpBatch* wakeUpBatch{nullptr};
  };

  /// The state of the running task; a plain thread's own outside tasks.
  TaskLocals& taskLocals();
  /// Makes `locals` the running task's state on this thread (null: the thread's own). Called by
  /// the worker when it switches tasks.
  void switchTaskLocals(TaskLocals* locals);

  /// The inbox of the calling module task, or null outside module tasks.
  inline Inbox*& currentInbox() { return taskLocals().inbox; }

  /// Counts bytes of array data copied by the transport (for the transport benchmark).
  std::atomic<std::uint64_t>& bytesCopied();

} // namespace Corvane::detail
