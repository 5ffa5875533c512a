#include "Corvane/detail/Scheduler.h"

#include <algorithm>

namespace Corvane::detail {

  namespace {
    thread_local TaskLocals threadLocals;
    thread_local TaskLocals* runningTaskLocals{nullptr};
  } // namespace

  TaskLocals& taskLocals() { return runningTaskLocals ? *runningTaskLocals : threadLocals; }

  void switchTaskLocals(TaskLocals* locals) { runningTaskLocals = locals; }

  std::atomic<std::uint64_t>& bytesCopied() {
    static std::atomic<std::uint64_t> count{0};
    return count;
  }

  void Inbox::setState(State newState) {
    state = newState;
    scheduler->touchAndNotify();
  }

  void Inbox::wait(std::unique_lock<std::mutex>& lock, const std::function<bool()>& pred) {
    while(!pred()) {
      if(scheduler->isShuttingDown()) throw ThreadInterrupted{};
      auto previous = state;
      waitPredicate = &pred;
      state = State::waiting;
      scheduler->touchAndNotify();
      parking.park(lock);
      waitPredicate = nullptr;
      state = previous;
      scheduler->touch();
    }
    if(scheduler->isShuttingDown()) throw ThreadInterrupted{};
  }

  void Inbox::sleepUntil(SteadyClock::time_point deadline) {
    std::unique_lock lock(mutex);
    if(scheduler->inTestMode()) {
      wait(lock, [&] { return scheduler->now() >= deadline; });
      return;
    }
    while(SteadyClock::now() < deadline) {
      if(scheduler->isShuttingDown()) throw ThreadInterrupted{};
      cv.wait_until(lock, deadline);
    }
    if(scheduler->isShuttingDown()) throw ThreadInterrupted{};
  }

  bool Inbox::waitForOutside(std::unique_lock<std::mutex>& lock, const std::function<bool()>& pred,
      SteadyClock::time_point realDeadline) {
    while(!pred()) {
      if(scheduler->isShuttingDown()) throw ThreadInterrupted{};
      if(!cv.wait_until(lock, realDeadline, [&] { return pred() || scheduler->isShuttingDown(); })) return pred();
    }
    return true;
  }

  bool Inbox::isIdle() {
    std::lock_guard lock(mutex);
    switch(state) {
      case State::idleNotStarted:
      case State::ended:
      case State::released:
        return true;
      case State::running:
        return false;
      case State::waiting:
        return waitPredicate == nullptr || !(*waitPredicate)();
    }
    return false;
  }

  std::shared_ptr<Inbox> Scheduler::makeInbox(const std::string& name) {
    auto inbox = std::make_shared<Inbox>(this, name);
    std::lock_guard lock(mutex);
    inboxes.push_back(inbox);
    return inbox;
  }

  void Scheduler::touchAndNotify() {
    touch();
    if(testMode) {
      std::lock_guard lock(mutex);
      cv.notify_all();
    }
  }

  void Scheduler::notifyAll() {
    std::vector<std::shared_ptr<Inbox>> all;
    {
      std::lock_guard lock(mutex);
      for(auto& weak : inboxes)
        if(auto inbox = weak.lock()) all.push_back(std::move(inbox));
      cv.notify_all();
    }
    for(auto& inbox : all) {
      std::lock_guard lock(inbox->mutex);
      inbox->wake();
    }
  }

  void Scheduler::requestShutdown() {
    shuttingDown.store(true, std::memory_order_release);
    notifyAll();
  }

  void Scheduler::enableTestMode() { testMode = true; }

  SteadyClock::time_point Scheduler::now() const {
    if(!testMode) return SteadyClock::now();
    return SteadyClock::time_point(SteadyClock::duration(virtualNow.load(std::memory_order_acquire)));
  }

  void Scheduler::advanceTime(SteadyClock::duration d) {
    virtualNow.fetch_add(d.count(), std::memory_order_acq_rel);
    touch();
    notifyAll();
  }

  bool Scheduler::waitUntilIdle(std::chrono::milliseconds timeout) {
    auto deadline = SteadyClock::now() + timeout;
    while(true) {
      auto before = generation.load(std::memory_order_acquire);
      std::vector<std::shared_ptr<Inbox>> all;
      {
        std::lock_guard lock(mutex);
        for(auto& weak : inboxes)
          if(auto inbox = weak.lock()) all.push_back(std::move(inbox));
      }
      bool idle = std::all_of(all.begin(), all.end(), [](auto& inbox) { return inbox->isIdle(); });
      auto after = generation.load(std::memory_order_acquire);
      if(idle && before == after) return true;
      std::unique_lock lock(mutex);
      // wait for any change since the scan began: a change during the scan must trigger a new scan
      if(!cv.wait_until(lock, deadline, [&] { return generation.load(std::memory_order_acquire) != before; })) {
        return false;
      }
    }
  }

} // namespace Corvane::detail
