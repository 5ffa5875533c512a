// The firmware table mutex on the controller board: shared holding with a holder count, every change of the
// lock register confirmed against the board's read-back, the time-out with its warning status and event
// message, repeated or stray requests, holding without time limit, and waiting for an unreachable board.
#include "MutexFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <map>
#include <thread>

using namespace Corvane;
using namespace mutextest;
using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::seconds;

namespace {

  struct Step {
    std::string writer;
    Command command;
    unsigned polls; // poll intervals until the writer returns (0: at once, no firmware access)
    bool stateAfter; // lock register afterwards (false: locked by software)
  };

  struct SequenceCase {
    std::string name;
    std::vector<std::string> writers;
    unsigned followAfterReads;
    std::vector<Step> steps;
    friend void PrintTo(const SequenceCase& c, std::ostream* os) { *os << c.name; }
  };

  /// Runs the steps one after the other, checking when each returns and what reached the board.
  void runSteps(Station& station, const std::vector<Step>& steps) {
    std::map<std::string, std::int32_t> done;
    for(std::size_t i = 0; i < steps.size(); ++i) {
      const auto& step = steps[i];
      SCOPED_TRACE("step " + std::to_string(i) + ": " + step.writer);
      auto writesBefore = station.stateWrites();
      auto readsBefore = station.board->readBackCount();

      station.command(step.writer, step.command);
      ++done[step.writer];
      if(step.polls > 0) {
        // the writer waits while the firmware has not confirmed
        EXPECT_EQ(station.completed(step.writer), done[step.writer] - 1);
        EXPECT_EQ(station.stateRegisterValue(), step.stateAfter ? 1 : 0);
      }
      EXPECT_EQ(station.pollsUntilCompleted(step.writer, done[step.writer]), step.polls);
      EXPECT_EQ(station.stateRegisterValue(), step.stateAfter ? 1 : 0);
      EXPECT_EQ(station.stateWrites() - writesBefore, step.polls > 0 ? 1u : 0u);
      EXPECT_EQ(station.board->readBackCount() - readsBefore, step.polls);
    }
  }

  class MutexSequence : public ::testing::TestWithParam<SequenceCase> {};

} // namespace

TEST_P(MutexSequence, OnlyTheFirstLockAndTheLastReleaseReachTheFirmware) {
  const auto& param = GetParam();
  Station station(param.writers, param.followAfterReads);
  EXPECT_EQ(station.stateRegisterValue(), 1); // released from the start
  runSteps(station, param.steps);
  EXPECT_TRUE(station.log.textsFrom(MultiClientFirmwareMutex::logSource).empty());
}

INSTANTIATE_TEST_SUITE_P(Mutex, MutexSequence,
    ::testing::Values(
        // A takes the lock, B joins, A leaves, B as last holder releases the firmware
        SequenceCase{"TwoWriters", {"A", "B"}, 1,
            {{"A", lockCommand, 1, false}, {"B", lockCommand, 0, false}, {"A", unlockCommand, 0, false},
                {"B", unlockCommand, 1, true}}},
        SequenceCase{"ThreeHoldersReleasedOutOfOrder", {"A", "B", "C"}, 4,
            {{"A", lockCommand, 4, false}, {"B", lockCommand, 0, false}, {"C", lockCommand, 0, false},
                {"B", unlockCommand, 0, false}, {"A", unlockCommand, 0, false}, {"C", unlockCommand, 4, true},
                {"C", lockCommand, 4, false}, {"C", unlockCommand, 4, true}}}),
    [](const auto& info) { return info.param.name; });

TEST(Mutex, ConfirmationAtTheFirstPollTakesOneIntervalAndOneRead) {
  Station station({"A"}, 1);
  auto readsBefore = station.board->readBackCount();
  station.command("A", lockCommand);
  station.test.advanceTime(microseconds(9));
  EXPECT_EQ(station.completed("A"), 0);
  EXPECT_EQ(station.board->readBackCount(),
      readsBefore); // the first read comes after the interval
  station.test.advanceTime(microseconds(1));
  EXPECT_EQ(station.completed("A"), 1);
  EXPECT_EQ(station.board->readBackCount(), readsBefore + 1);
}

TEST(Mutex, HoldingHasNoTimeLimit) {
  Station station({"A"}, 1);
  station.command("A", lockCommand);
  ASSERT_EQ(station.pollsUntilCompleted("A", 1), 1u);
  auto writes = station.stateWrites();
  auto reads = station.board->readBackCount();
  for(int hour = 0; hour < 3; ++hour) station.test.advanceTime(std::chrono::hours(1));
  EXPECT_EQ(station.stateRegisterValue(), 0);
  EXPECT_EQ(station.stateWrites(), writes);
  EXPECT_EQ(station.board->readBackCount(), reads);
  station.command("A", unlockCommand);
  EXPECT_EQ(station.pollsUntilCompleted("A", 2), 1u);
  EXPECT_EQ(station.stateRegisterValue(), 1);
}

namespace {

  struct SilentCase {
    std::string name;
    bool stuckReadBack; // what the firmware keeps reporting
    Command silentCommand; // the request whose state change is never confirmed
    std::string timeoutText; // the warning up to its line naming the lock register
    std::string statusMessage;
    friend void PrintTo(const SilentCase& c, std::ostream* os) { *os << c.name; }
  };

  class SilentFirmware : public ::testing::TestWithParam<SilentCase> {};

} // namespace

TEST_P(SilentFirmware, WriterProceedsAfterTheBailOutWithAWarningUntilTheNextConfirmedLock) {
  const auto& param = GetParam();
  Station station({"A"}, 0, param.stuckReadBack);
  const std::string base = controllerMutex + "/";
  std::int32_t done = 0;
  if(param.silentCommand == unlockCommand) {
    // the stuck read-back already shows "locked"
    station.command("A", lockCommand);
    ASSERT_EQ(station.pollsUntilCompleted("A", ++done), 1u);
  }
  auto writesBefore = station.stateWrites();
  auto readsBefore = station.board->readBackCount();

  station.command("A", param.silentCommand);
  ++done;
  for(unsigned poll = 1; poll <= 999; ++poll) {
    station.test.advanceTime(microseconds(10));
    if(poll == 998 || poll == 999) {
      // the warning and the second write of "state" come with the 999th differing read-back
      bool warned = poll == 999;
      EXPECT_EQ(station.log.textsFrom(MultiClientFirmwareMutex::logSource).size(), warned ? 1u : 0u) << poll;
      EXPECT_EQ(station.stateWrites() - writesBefore, warned ? 2u : 1u) << poll;
    }
  }
  EXPECT_EQ(station.completed("A"), done - 1);
  EXPECT_EQ(station.pollsUntilCompleted("A", done), 1000u); // 1999 polls in all
  EXPECT_EQ(station.board->readBackCount() - readsBefore, 1999u);
  EXPECT_EQ(station.stateWrites() - writesBefore, 2u);
  // the time-out's last line names the lock register and its board
  const std::string lockRegister = "(writes " + base + "state, reads back register " + base + "actualState of device " +
                                   boardAlias + " (" + std::filesystem::absolute("mutextest.map").string() + ":3))\n";
  EXPECT_EQ(station.log.textsFrom(MultiClientFirmwareMutex::logSource),
      (std::vector<std::string>{param.timeoutText + lockRegister, "Bailing out..."}));

  EXPECT_EQ(station.test.readScalar<std::int32_t>(base + "confirmationStatus"), StatusOutput::WARNING);
  EXPECT_EQ(station.test.readScalar<std::string>(base + "confirmationStatus_message"), param.statusMessage);
  EXPECT_EQ(station.test.readScalar<std::string>(base + "errorMessage"), param.statusMessage);
  EXPECT_EQ(station.test.readScalar<std::int32_t>("/readyStatus"), StatusOutput::WARNING);
  EXPECT_EQ(station.test.readScalar<std::string>("/readyStatus_message"), param.statusMessage);
  EXPECT_EQ(station.test.readScalar<std::string>("/eventMessage/message"), param.statusMessage);
  EXPECT_EQ(station.test.readScalar<std::string>("/eventMessage/source"), base + "errorMessage");

  // The mutex keeps serving: a release confirmed by the stuck read-back leaves the warning standing; the next
  // lock that the firmware confirms clears it.
  if(param.silentCommand == lockCommand) {
    station.command("A", unlockCommand);
    ASSERT_EQ(station.pollsUntilCompleted("A", ++done), 1u);
    EXPECT_EQ(station.test.readScalar<std::int32_t>(base + "confirmationStatus"), StatusOutput::WARNING);
  }
  station.board->setFollowAfterReads(2);
  station.command("A", lockCommand);
  EXPECT_EQ(station.pollsUntilCompleted("A", ++done), param.stuckReadBack ? 2u : 1u);
  EXPECT_EQ(station.test.readScalar<std::int32_t>(base + "confirmationStatus"), StatusOutput::OK);
  EXPECT_EQ(station.test.readScalar<std::string>(base + "confirmationStatus_message"), "");
  EXPECT_EQ(station.test.readScalar<std::string>(base + "errorMessage"), "");
  EXPECT_EQ(station.test.readScalar<std::int32_t>("/readyStatus"), StatusOutput::OK);
  EXPECT_EQ(station.log.textsFrom(MultiClientFirmwareMutex::logSource).size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Mutex, SilentFirmware,
    ::testing::Values(SilentCase{"Locking", true, lockCommand,
                          "Timeout acquiring MultiClientFirmwareMutex "
                          "/Controller/Configuration/tableBufferMode!\n1 != 0\n",
                          "Firmware did not confirm the lock of MultiClientFirmwareMutex "
                          "/Controller/Configuration/tableBufferMode "
                          "(read-back 1 != 0); table writers continue unconfirmed"},
        SilentCase{"Releasing", false, unlockCommand,
            "Timeout acquiring MultiClientFirmwareMutex "
            "/Controller/Configuration/tableBufferMode!\n0 != 1\n",
            "Firmware did not confirm the release of MultiClientFirmwareMutex "
            "/Controller/Configuration/tableBufferMode (read-back 0 != 1); "
            "table writers continue unconfirmed"}),
    [](const auto& info) { return info.param.name; });

TEST(Mutex, RepeatedRequestsAndStrayReleasesDoNotChangeTheHolderCount) {
  Station station({"Rogue", "A"}, 1);
  runSteps(station, {{"Rogue", lockCommand, 1, false}, {"Rogue", lockCommand, 0, false}, {"A", lockCommand, 0, false},
                        {"Rogue", unlockCommand, 0, false}, {"Rogue", unlockCommand, 0, false},
                        {"A", unlockCommand, 1, true}, {"Rogue", unlockCommand, 0, true}});
  // every request is acknowledged with its own value, the ignored ones too
  EXPECT_FALSE(station.test.readScalar<Boolean>("/Controller/Rogue/lastAcknowledgement"));
  const std::string client = "client " + controllerMutex + "/rogue";
  EXPECT_EQ(station.log.textsFrom(MultiClientFirmwareMutex::logSource),
      (std::vector<std::string>{"MultiClientFirmwareMutex " + controllerMutex + ": " + client +
                                    " requested the lock while holding it; ignored",
          "MultiClientFirmwareMutex " + controllerMutex + ": " + client +
              " released the lock without holding it; ignored",
          "MultiClientFirmwareMutex " + controllerMutex + ": " + client +
              " released the lock without holding it; ignored"}));
}

TEST(Mutex, WaitingForAnUnreachableBoardIsNoFirmwareTimeout) {
  Station station({"A"}, 1);
  station.board->setReadFails(true);
  station.command("A", lockCommand);
  for(int i = 0; i < 30; ++i) station.test.advanceTime(milliseconds(1)); // far beyond 2000 polls of 10 µs
  EXPECT_EQ(station.completed("A"), 0); // still waiting for the board, not bailed out
  station.board->setReadFails(false);
  station.test.advanceTime(seconds(1)); // the device recovers and writes the request again
  // the lock may have polled the board just before it recovered: a few more polls at most
  station.test.advanceTime(milliseconds(2));
  EXPECT_LE(station.pollsUntilCompleted("A", 1), 3u);
  EXPECT_EQ(station.completed("A"), 1);
  EXPECT_EQ(station.stateRegisterValue(), 0); // locked
  EXPECT_TRUE(station.log.textsFrom(MultiClientFirmwareMutex::logSource).empty());
}

namespace {

  /// Two writers waiting for the lock on a board that is not reachable (every read fails).
  struct UnreachableBoard : Station {
    UnreachableBoard() : Station({"A", "B"}, 1, true, "/boardTrigger") {
      board->setReadFails(true);
      command("A", lockCommand);
      command("B", lockCommand);
      for(int i = 0; i < 30; ++i) test.advanceTime(milliseconds(1)); // far beyond 2000 polls of 10 µs
    }
    std::int32_t status() { return test.readScalar<std::int32_t>(controllerMutex + "/confirmationStatus"); }
    std::string statusMessage() {
      return test.readScalar<std::string>(controllerMutex + "/confirmationStatus_message");
    }
  };

} // namespace

TEST(Mutex, WritersWaitingForAnUnreachableBoardShowAWarningNamingTheBoard) {
  UnreachableBoard station;
  EXPECT_EQ(station.completed("A"), 0);
  EXPECT_EQ(station.completed("B"), 0);
  EXPECT_EQ(station.status(), StatusOutput::WARNING);
  EXPECT_THAT(station.statusMessage(), testing::HasSubstr("MultiClientFirmwareMutex " + controllerMutex + " wait"));
  EXPECT_THAT(station.statusMessage(), testing::HasSubstr("of device " + boardAlias));

  station.board->setReadFails(false);
  station.test.advanceTime(seconds(1)); // the device recovers and writes the request again
  station.test.advanceTime(milliseconds(2));
  EXPECT_LE(station.pollsUntilCompleted("A", 1), 3u);
  EXPECT_EQ(station.completed("B"), 1); // joins the lock without another firmware access
  EXPECT_EQ(station.stateRegisterValue(), 0);
  EXPECT_EQ(station.status(), StatusOutput::OK);
  EXPECT_EQ(station.statusMessage(), "");
  EXPECT_EQ(station.test.readScalar<std::int32_t>("/readyStatus"), StatusOutput::OK);
  EXPECT_TRUE(station.log.textsFrom(MultiClientFirmwareMutex::logSource).empty());
}

namespace {

  /// Shuts `app` down and expects it to take well under a second.
  void expectShutdownAtOnce(Application& app) {
    auto start = std::chrono::steady_clock::now();
    auto shutdown = std::async(std::launch::async, [&] { app.shutdown(); });
    if(shutdown.wait_for(seconds(10)) != std::future_status::ready) {
      // the threads never end: no point in waiting for them at the end of the test
      std::fprintf(stderr, "shutdown still blocked after 10 s\n");
      std::abort();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(500));
  }

} // namespace

TEST(Mutex, ShutdownEndsTheWaitForAnUnreachableBoardAtOnce) {
  UnreachableBoard station;
  ASSERT_EQ(station.status(), StatusOutput::WARNING); // the writers and the mutex's thread are waiting
  expectShutdownAtOnce(station.app);
}

TEST(Mutex, ShutdownEndsTheWaitForAnUnreachableBoardAtOnceOnTheRealClock) {
  LogCapture log;
  StationApp app({"A", "B"}, "/boardTrigger");
  TestFacility test(app, false);
  auto board = findBoard();
  board->setRegister<std::int32_t>(actualStateRegister, {1});
  app.run(); // no stepping: the threads run in real time
  // every wait below is bounded: polls every millisecond for at most 10 s
  auto waitFor = [&](const std::string& path, std::int32_t expected) {
    auto deadline = std::chrono::steady_clock::now() + seconds(10);
    while(test.readScalar<std::int32_t>(path) != expected && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(milliseconds(1));
    }
    return test.readScalar<std::int32_t>(path) == expected;
  };
  // a lock and a release while the board answers: the mutex has read the board's read-back
  ASSERT_TRUE(waitFor("/Devices/" + boardAlias + "/status", 0));
  test.writeScalar<std::int32_t>("/Controller/A/command", lockCommand);
  ASSERT_TRUE(waitFor("/Controller/A/completed", 1));
  test.writeScalar<std::int32_t>("/Controller/A/command", unlockCommand);
  ASSERT_TRUE(waitFor("/Controller/A/completed", 2));

  board->setReadFails(true);
  test.writeScalar<std::int32_t>("/Controller/A/command", lockCommand);
  test.writeScalar<std::int32_t>("/Controller/B/command", lockCommand);
  ASSERT_TRUE(waitFor(controllerMutex + "/confirmationStatus", StatusOutput::WARNING));
  EXPECT_EQ(test.readScalar<std::int32_t>("/Controller/A/completed"), 2);
  EXPECT_EQ(test.readScalar<std::int32_t>("/Controller/B/completed"), 0);
  expectShutdownAtOnce(app);
}
