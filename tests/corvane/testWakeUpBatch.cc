// Wake-ups held back by a WakeUpBatch: a thread that reads two values sent in one batch is woken
// once, after both are there; nested batches wake at the end of the outermost one.
#include <Corvane/WakeUpBatch.h>
#include <Corvane/detail/Channel.h>
#include <Corvane/detail/Scheduler.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

using namespace Corvane;
using Kind = detail::ReceiveChannel::Kind;

namespace {

  struct BatchReader {
    detail::Scheduler scheduler;
    std::shared_ptr<detail::Inbox> inbox = scheduler.makeInbox("reader");
    detail::TypedChannel<int> a{Kind::pushQueue, 3, inbox, DataType::int32, 1};
    detail::TypedChannel<int> b{Kind::pushQueue, 3, inbox, DataType::int32, 1};
    std::atomic<bool> hasA{false};
    std::atomic<int> checksOfB{0}; // evaluations of "b arrived" in the reading thread

    /// Waits for a, then for b, as a module's readAll does.
    std::future<void> start() {
      return std::async(std::launch::async, [this] {
        std::unique_lock lock(inbox->mutex);
        inbox->setState(detail::Inbox::State::running);
        const auto self = std::this_thread::get_id();
        inbox->wait(lock, [&] { return a.size() > 0; });
        hasA = true;
        inbox->wait(lock, [&] {
          if(std::this_thread::get_id() == self) ++checksOfB;
          return b.size() > 0;
        });
      });
    }

    void waitUntilBlocked() {
      for(int i = 0; i < 10000; ++i) {
        {
          std::lock_guard lock(inbox->mutex);
          if(inbox->state == detail::Inbox::State::waiting) return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      FAIL() << "reader never started waiting";
    }

    static void deliver(detail::TypedChannel<int>& channel, int value) {
      std::vector<int> data{value};
      channel.deliver(&data, true, VersionNumber{}, DataValidity::ok);
    }
  };

} // namespace

TEST(WakeUpBatch, ReaderOfTwoValuesWakesOnceWhenTheOutermostBatchEnds) {
  BatchReader reader;
  auto done = reader.start();
  reader.waitUntilBlocked();
  {
    WakeUpBatch outer;
    BatchReader::deliver(reader.a, 1);
    {
      WakeUpBatch inner;
      BatchReader::deliver(reader.b, 2);
    }
    // the value is queued, the reader still sleeps (it would have taken a by now if woken)
    EXPECT_EQ(done.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    EXPECT_FALSE(reader.hasA);
    EXPECT_EQ(reader.a.size(), 1U);
  }
  ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  // b was there when the reader first looked: it never slept waiting for it
  EXPECT_EQ(reader.checksOfB, 1);
}

TEST(WakeUpBatch, WithoutBatchADeliveryWakesAtOnce) {
  BatchReader reader;
  auto done = reader.start();
  reader.waitUntilBlocked();
  BatchReader::deliver(reader.a, 1);
  for(int i = 0; i < 10000 && !reader.hasA; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_TRUE(reader.hasA);
  BatchReader::deliver(reader.b, 2);
  ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}
