// Run-to-completion events: an event raised inside an action runs after it (oldest first), a
// standard exception is logged (rate-limited) and the queue goes on, any other exception
// empties the queue and passes on.
#include "Corvane/VirtualLab/EventQueue.h"

#include <Corvane/LogCapture.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Corvane::VirtualLab::EventQueue;

namespace {

  TEST(EventQueue, EventsRaisedInsideAnActionRunAfterItOldestFirst) {
    EventQueue queue("Board");
    std::vector<std::string> order;
    queue.process([&] {
      order.push_back("a begins");
      queue.process([&] {
        order.push_back("b");
        queue.process([&] { order.push_back("d"); });
      });
      queue.process([&] { order.push_back("c"); });
      EXPECT_EQ(queue.pending(), 2u);
      order.push_back("a ends");
    });
    EXPECT_EQ(order, (std::vector<std::string>{"a begins", "a ends", "b", "c", "d"}));
    EXPECT_FALSE(queue.isProcessing());
    EXPECT_EQ(queue.pending(), 0u);
  }

  TEST(EventQueue, AStandardExceptionIsLoggedAndTheQueueGoesOn) {
    Corvane::LogCapture log("Board");
    EventQueue queue("Board");
    std::vector<std::string> order;
    queue.process([&] {
      queue.process([&] { order.push_back("after the failure"); });
      for(int i = 0; i < 3; ++i) queue.process([] { throw std::runtime_error("sink read failed"); });
      throw std::out_of_range("table index 16384");
    });
    EXPECT_EQ(order, (std::vector<std::string>{"after the failure"}));
    EXPECT_EQ(queue.getExceptionCount(), 4u);
    // one line within the second; the next line would count the three held back
    auto lines = log.textsFrom("Board");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "event action failed: table index 16384");
    EXPECT_FALSE(queue.isProcessing());
  }

  TEST(EventQueue, AnotherExceptionEmptiesTheQueueAndPassesOn) {
    EventQueue queue("Board");
    bool laterRan = false;
    EXPECT_THROW(queue.process([&] {
      queue.process([&] { laterRan = true; });
      throw 42;
    }),
        int);
    EXPECT_FALSE(laterRan);
    EXPECT_EQ(queue.pending(), 0u);
    EXPECT_FALSE(queue.isProcessing());
    // the queue works again afterwards
    queue.process([&] { laterRan = true; });
    EXPECT_TRUE(laterRan);
  }

} // namespace
