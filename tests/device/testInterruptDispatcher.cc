// Interrupt callbacks: order, self-removal, and removal while a callback runs elsewhere.
#include "Corvane/InterruptDispatcher.h"
#include "Corvane/InterruptSubscription.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

using Corvane::InterruptDispatcher;
using Corvane::InterruptSubscription;

namespace {

  using namespace std::chrono_literals;

  TEST(InterruptDispatcher, CallsTheSubscribersOfOneInterruptInOrder) {
    auto dispatcher = std::make_shared<InterruptDispatcher>();
    std::vector<std::string> calls;
    InterruptSubscription first(dispatcher, dispatcher->add(1, [&] { calls.push_back("first"); }));
    InterruptSubscription other(dispatcher, dispatcher->add(2, [&] { calls.push_back("other"); }));
    InterruptSubscription second(dispatcher, dispatcher->add(1, [&] { calls.push_back("second"); }));
    dispatcher->dispatch(1);
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "second"}));
  }

  TEST(InterruptDispatcher, ACallbackMayCancelItselfAndOthers) {
    auto dispatcher = std::make_shared<InterruptDispatcher>();
    int selfCalls = 0, laterCalls = 0;
    InterruptSubscription self, later;
    self = InterruptSubscription(dispatcher, dispatcher->add(1, [&] {
      ++selfCalls;
      self.cancel();
      later.cancel();
    }));
    later = InterruptSubscription(dispatcher, dispatcher->add(1, [&] { ++laterCalls; }));
    dispatcher->dispatch(1);
    dispatcher->dispatch(1);
    EXPECT_EQ(selfCalls, 1);
    EXPECT_EQ(laterCalls, 0); // cancelled before its turn
    EXPECT_EQ(dispatcher->size(), 0u);
  }

  TEST(InterruptDispatcher, CancelWaitsForARunningCallback) {
    auto dispatcher = std::make_shared<InterruptDispatcher>();
    std::mutex mutex;
    std::condition_variable changed;
    bool cancelRequested = false, cancelReturned = false, returnedWhileRunning = false;
    std::promise<void> entered;

    InterruptSubscription subscription(dispatcher, dispatcher->add(1, [&] {
      entered.set_value();
      std::unique_lock lock(mutex);
      changed.wait_for(lock, 5s, [&] { return cancelRequested; });
      // a correct cancel stays blocked while this runs; give a wrong one time to return
      returnedWhileRunning = changed.wait_for(lock, 50ms, [&] { return cancelReturned; });
    }));
    std::thread interrupt([&] { dispatcher->dispatch(1); });
    ASSERT_EQ(entered.get_future().wait_for(5s), std::future_status::ready);
    std::thread canceller([&] {
      {
        std::lock_guard lock(mutex);
        cancelRequested = true;
      }
      changed.notify_all();
      subscription.cancel();
      {
        std::lock_guard lock(mutex);
        cancelReturned = true;
      }
      changed.notify_all();
    });
    canceller.join();
    interrupt.join();
    EXPECT_FALSE(returnedWhileRunning);
    EXPECT_EQ(dispatcher->size(), 0u);
  }

  TEST(InterruptDispatcher, ASubscriptionMayOutliveItsDispatcher) {
    auto dispatcher = std::make_shared<InterruptDispatcher>();
    InterruptSubscription subscription(dispatcher, dispatcher->add(1, [] {}));
    EXPECT_TRUE(subscription.isActive());
    dispatcher.reset();
    EXPECT_FALSE(subscription.isActive());
    subscription.cancel(); // nothing to remove from, nothing to crash
  }

} // namespace
