// Where a module task waits for its deliveries without a spin lock between workers.
//
// A task that finds nothing to do parks: it leaves its pointer here and suspends. A delivery,
// on whatever worker or thread, takes the pointer with one atomic exchange and makes the task
// ready again on its own worker. Boost.Fiber's condition variable would hold its wait queue's
// spin lock across the waiter's whole switch to the next fiber, and every deliverer on another
// worker spins on it meanwhile; with two workers waking each other's tasks on every pulse that
// spinning took a large part of the processor time.
//
// Protocol: the task decides to park under its inbox mutex (so a delivery made before that is
// seen), stores itself, releases the mutex and suspends. A deliverer queues its value under the
// mutex and calls wake() after releasing it, so it either finds the pointer or its value was
// queued before the task looked. The exchange gives each parking at most one wake-up. A wake-up
// that comes between the store and the suspension is safe: the task is made ready on its own
// worker, which resumes it only after it has suspended (a worker runs one fiber at a time and
// takes wake-ups from other threads in its dispatcher).
//
// A parked task comes back only when woken; callers re-check their condition anyway.
//
// In sanitizer builds every task has a thread of its own (TaskCondition.h): parking is a wait
// on a standard condition variable, and the caller's loop absorbs its spurious wake-ups.
#pragma once

#include "Corvane/detail/TaskCondition.h"

#include <atomic>
#include <mutex>

namespace boost::fibers {
  class context;
}

namespace Corvane::detail {

  class TaskParking {
   public:
    /// Suspends the calling task until wake(). `lock` (the inbox mutex) is released meanwhile and
    /// held again on return.
    void park(std::unique_lock<std::mutex>& lock);

    /// Wakes the parked task, if one is parked. Callable with or without the inbox mutex held.
    void wake() noexcept;

   private:
#if CORVANE_TASKS_ON_THREADS
    std::condition_variable _parked;
#else
    std::atomic<boost::fibers::context*> _parked{nullptr};
#endif
  };

} // namespace Corvane::detail
