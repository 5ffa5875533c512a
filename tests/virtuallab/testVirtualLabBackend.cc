// The simulated board base: timers raise events in order (trigger before strobe, a strobe armed
// for "now" in the same step), events raised inside an action run after it, action failures
// are logged and the queue goes on, register writes raise events under the lock.
#include "TestBoard.h"

#include <gtest/gtest.h>

using CorvaneTest::TestBoard;

namespace {

  class BoardTest : public ::testing::Test {
   protected:
    Corvane::TemporaryDirectory directory{"virtuallab"};
    std::shared_ptr<TestBoard> board = std::make_shared<TestBoard>(CorvaneTest::writeTestBoardMap(directory));
  };

  TEST_F(BoardTest, AnAdvanceDeliversTheStrobesThenTheTriggerAndItsFirstStrobe) {
    board->advanceToTimer("trigger");
    EXPECT_EQ(board->log, (std::vector<std::string>{"trigger@1000", "strobe@1000"}));
    board->log.clear();
    board->advanceToTimer("trigger");
    EXPECT_EQ(board->log,
        (std::vector<std::string>{"strobe@1300", "strobe@1600", "trigger@2000", "strobe@2000"}));
    EXPECT_EQ(board->timers().getCurrentTime(), 2000);
    EXPECT_EQ(int(board->triggers), 2);
    EXPECT_EQ(int(board->strobes), 4);
  }

} // namespace
