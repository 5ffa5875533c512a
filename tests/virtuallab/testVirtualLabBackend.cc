// The simulated board base: timers raise events in order (trigger before strobe, a strobe armed
// for "now" in the same step), events raised inside an action run after it, action failures
// are logged and the queue goes on, register writes raise events under the lock.
#include "TestBoard.h"

#include <Corvane/DMapFile.h>
#include <Corvane/LogCapture.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using CorvaneTest::TestBoard;

namespace {

  /// The board type registers with the backend factory when this program is loaded.
  TestBoard::BackendRegisterer registerer("TestBoard");

  /// Whether another thread finds the mutex held (try_lock on a mutex this thread holds is undefined).
  bool heldElsewhere(std::mutex& mutex) {
    bool held = false;
    std::thread([&] {
      held = !mutex.try_lock();
      if(!held) mutex.unlock();
    }).join();
    return held;
  }

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

  TEST_F(BoardTest, AnEventRaisedInsideATimerEventRunsBeforeTheNextTimer) {
    board->duringNextEvent = [&] { board->processEvent(TestBoard::onWriteValue{}); };
    board->advanceToTimer("trigger");
    EXPECT_EQ(board->log, (std::vector<std::string>{"trigger@1000", "value@1000", "strobe@1000"}));
  }

  TEST_F(BoardTest, AFailingActionIsLoggedAndLaterEventsStillRun) {
    Corvane::LogCapture log("TestBoard");
    board->duringNextEvent = [] { throw std::runtime_error("model diverged"); };
    board->advanceToTimer("trigger");
    board->advanceToTimer("trigger");
    // the failure ended the trigger's action after its note, before it re-armed the timers
    EXPECT_EQ(board->log, (std::vector<std::string>{"trigger@1000"}));
    EXPECT_EQ(board->getEventExceptionCount(), 1u);
    EXPECT_EQ(log.textsFrom("TestBoard"), (std::vector<std::string>{"event action failed: model diverged"}));
    // an event handed in directly still runs
    std::lock_guard lock(board->mutex());
    board->processEvent(TestBoard::onTrigger{});
    EXPECT_EQ(board->log.back(), "trigger@1000");
  }

  TEST_F(BoardTest, RegisterWritesInsideTheRegisterRaiseItsEventUnderTheLock) {
    board->open();
    bool locked = false;
    const auto& value = board->getRegisterMap().getRegister("BOARD.VALUE");
    std::int32_t words[2] = {1, 2};
    board->duringNextEvent = [&] { locked = heldElsewhere(board->mutex()); };
    board->write(value.bar, value.address, words, 4);
    EXPECT_TRUE(locked);
    // a write reaching beyond the register, or another register, raises nothing
    board->write(value.bar, value.address, words, 8);
    board->write(value.bar, value.address - 4, words, 4);
    EXPECT_EQ(board->log, (std::vector<std::string>{"value@0"}));
  }

  TEST_F(BoardTest, ClientsReachTheRegistersWhileTimeAdvances) {
    board->open();
    const auto& value = board->getRegisterMap().getRegister("BOARD.VALUE");
    std::atomic<bool> done{false};
    std::size_t writes = 0;
    std::thread client([&] {
      // at least a few writes, and more while the simulation runs
      for(std::int32_t i = 0; i < 20 || !done; ++i) {
        board->write(value.bar, value.address, &i, 4);
        ++writes;
      }
    });
    for(int i = 0; i < 200; ++i) board->advanceToTimer("trigger");
    done = true;
    client.join();
    std::lock_guard lock(board->mutex());
    EXPECT_EQ(int(board->triggers), 200);
    EXPECT_EQ(int(board->strobes), 1 + 199 * TestBoard::strobesPerPulse);
    auto values = std::count_if(board->log.begin(), board->log.end(), [](auto& e) { return e.starts_with("value"); });
    EXPECT_EQ(std::size_t(values), writes);
  }

  TEST_F(BoardTest, TheFactoryBuildsTheBoardFromTheMapNextToTheDeviceMap) {
    auto dmap = directory.file("station.dmap");
    std::ofstream(dmap) << "Board (TestBoard?map=testboard.map)\nNoMap (TestBoard:1)\n";
    auto previous = Corvane::getDMapFilePath();
    Corvane::setDMapFilePath(dmap);
    auto& factory = Corvane::BackendFactory::getInstance();
    EXPECT_TRUE(factory.isRegistered("TestBoard"));
    auto created = factory.createBackend("Board");
    EXPECT_NE(std::dynamic_pointer_cast<TestBoard>(created), nullptr);
    EXPECT_EQ(created->getRegisterMap().fileName(), board->getRegisterMap().fileName());
    EXPECT_EQ(factory.createBackend("Board"), created);
    try {
      factory.createBackend("NoMap");
      ADD_FAILURE() << "a board without map was created";
    }
    catch(const Corvane::logic_error& e) {
      EXPECT_NE(std::string(e.what()).find("No map file name given in the device descriptor."), std::string::npos)
          << e.what();
    }
    Corvane::setDMapFilePath(previous);
  }

} // namespace
