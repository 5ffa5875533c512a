// Device faults and recoveries as modules see them: versions of register values around a late
// opening and a fault, poll reads during a fault, refused writes, a fault reported while a
// recovery runs, and shutdown while the device keeps failing.
#include "DeviceFixture.h"

#include <Corvane/Corvane.h>
#include <Corvane/DeviceModule.h>
#include <Corvane/LogCapture.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <future>
#include <limits>
#include <thread>

using namespace Corvane;
using deviceapp::countContaining;
using deviceapp::dummy;

namespace {

  /// Counts its reads of the board's status, and the reads whose version was older than the one before.
  struct VersionWatch : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<std::uint32_t> status{this, "/Board/status", "", ""};
    ScalarOutput<int> reads{this, "/statusReads", "", ""};
    ScalarOutput<int> olderVersions{this, "/olderVersions", "", ""};
    void mainLoop() override {
      int nReads = 0, nOlder = 0;
      VersionNumber last{nullptr};
      while(true) {
        if(status.getVersionNumber() < last) ++nOlder;
        last = status.getVersionNumber();
        olderVersions.setAndWrite(nOlder);
        reads.setAndWrite(++nReads);
        status.read();
      }
    }
  };

  struct WatchApp : Application {
    WatchApp() : Application("watch") {}
    SetDMapFilePath dmap{deviceapp::writeBoardFiles("watch")};
    DeviceModule board{this, "Board", "/trigger"};
    VersionWatch watch{this, "Watch", ""};
  };

  /// The board of WatchApp, created ahead of the application so that its opening fails.
  std::shared_ptr<DummyBackend> boardThatCannotOpen() {
    deviceapp::writeBoardFiles("watch");
    setDMapFilePath("watch.dmap");
    auto board = std::dynamic_pointer_cast<DummyBackend>(BackendFactory::getInstance().createBackend("Board"));
    board->setOpenFails(true);
    return board;
  }

} // namespace

TEST(DeviceRecovery, NoPulseOlderThanTheFirstValuesFollowsALateOpening) {
  auto board = boardThatCannotOpen();
  WatchApp app;
  TestFacility test(app);
  test.runApplication();
  test.writeScalar<std::int64_t>("/trigger", 1); // a pulse while the device cannot be read
  test.stepApplication();
  board->setOpenFails(false);
  test.advanceTime(std::chrono::seconds(1));
  ASSERT_EQ(test.readScalar<std::int32_t>("/Devices/Board/status"), 0);
  EXPECT_EQ(test.readScalar<int>("/statusReads"), 1); // the first values only
  VersionNumber pulse;
  test.writeScalar<std::int64_t>("/trigger", 2, pulse);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<int>("/statusReads"), 2);
  EXPECT_EQ(test.getVersion("/Board/status"), pulse);
  EXPECT_EQ(test.readScalar<int>("/olderVersions"), 0);
}

TEST(DeviceRecovery, TriggersOfAFaultAreReadOnceForTheNewest) {
  WatchApp app;
  TestFacility test(app);
  test.runApplication();
  auto board = dummy("Board");
  test.writeScalar<std::int64_t>("/trigger", 1);
  test.stepApplication();
  auto readsBefore = test.readScalar<int>("/statusReads");

  board->setReadFails(true);
  test.writeScalar<std::int64_t>("/trigger", 2);
  test.stepApplication();
  ASSERT_EQ(test.readScalar<std::int32_t>("/Devices/Board/status"), 1);
  VersionNumber newest{nullptr};
  for(std::int64_t pulse = 3; pulse <= 6; ++pulse) {
    newest = VersionNumber{};
    test.writeScalar<std::int64_t>("/trigger", pulse, newest);
  }
  test.stepApplication();
  board->setReadFails(false);
  board->setRegister<std::uint32_t>("Board.status", {6});
  test.advanceTime(std::chrono::seconds(1));
  ASSERT_EQ(test.readScalar<std::int32_t>("/Devices/Board/status"), 0);
  // today's data once, labelled with the newest pulse, not replayed for the older ones
  EXPECT_EQ(test.readScalar<int>("/statusReads"), readsBefore + 1);
  EXPECT_EQ(test.getVersion("/Board/status"), newest);
  EXPECT_EQ(test.readScalar<std::uint32_t>("/Board/status"), 6u);
  EXPECT_EQ(test.readScalar<int>("/olderVersions"), 0);
}

namespace {

  struct Poller : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPollInput<std::int32_t> other{this, "/Other/value", "", ""};
    ScalarPushInput<int> poll{this, "/pollNow", "", ""};
    ScalarOutput<std::int32_t> polled{this, "/polled", "", ""};
    void mainLoop() override {
      while(true) {
        poll.read();
        other.read();
        polled.setAndWrite(other);
      }
    }
  };

  struct PollApp : Application {
    explicit PollApp(const std::string& triggerPath) : Application("poll") {
      board = DeviceModule(this, "Board", triggerPath);
    }
    SetDMapFilePath dmap{deviceapp::writeBoardFiles("poll")};
    DeviceModule board;
    Poller poller{this, "Poller", ""};
  };

} // namespace

TEST(DeviceRecovery, PollReadsDuringAFaultGiveTheLastValueMarkedFaulty) {
  for(std::string triggerPath : {"", "/trigger"}) {
    SCOPED_TRACE("trigger '" + triggerPath + "'");
    PollApp app(triggerPath);
    TestFacility test(app);
    test.runApplication();
    auto board = dummy("Board");
    board->setRegister<std::int32_t>("Other.value", {-5});
    test.writeScalar<int>("/pollNow", 1);
    test.stepApplication();
    EXPECT_EQ(test.readScalar<std::int32_t>("/polled"), -5);
    EXPECT_EQ(test.getValidity("/polled"), DataValidity::ok);

    board->setReadFails(true);
    board->setRegister<std::int32_t>("Other.value", {7});
    test.writeScalar<int>("/pollNow", 2);
    test.stepApplication();
    EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Board/status"), 1);
    EXPECT_EQ(test.readScalar<std::int32_t>("/polled"), -5);
    EXPECT_EQ(test.getValidity("/polled"), DataValidity::faulty);

    board->setReadFails(false);
    test.advanceTime(std::chrono::seconds(1));
    test.writeScalar<int>("/pollNow", 3);
    test.stepApplication();
    EXPECT_EQ(test.readScalar<std::int32_t>("/polled"), 7);
    EXPECT_EQ(test.getValidity("/polled"), DataValidity::ok);
  }
}

namespace {

  struct GainWriter : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<double> request{this, "/gainRequest", "", ""};
    ScalarOutput<double> gain{this, "/Board/gain", "", ""};
    ScalarOutput<std::int32_t> setting{this, "/Board/setting", "", ""};
    void prepare() override {
      gain.setAndWrite(std::numeric_limits<double>::quiet_NaN()); // no fixed-point register takes it
      setting.setAndWrite(5);
    }
    void mainLoop() override {
      while(true) {
        request.read();
        gain.setAndWrite(request);
      }
    }
  };

  struct RefusalApp : Application {
    RefusalApp() : Application("refusal") {}
    SetDMapFilePath dmap{deviceapp::writeBoardFiles("refusal", "writeRecordingDummy")};
    DeviceModule board{this, "Board", "/trigger"};
    GainWriter writer{this, "Writer", ""};
  };

} // namespace

TEST(DeviceRecovery, RefusedWritesLeaveTheHeldValueAndRecoveryRewritesWhatTheBoardTook) {
  LogCapture log("Device Board");
  RefusalApp app;
  TestFacility test(app);
  test.runApplication();
  auto board = deviceapp::recordingDummy("Board");
  ASSERT_TRUE(board);
  // the NaN of prepare() was refused, not held: the device opened and took the rest
  EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Board/status"), 0);
  EXPECT_EQ(board->getRegister<std::int32_t>("Board.setting"), std::vector<std::int32_t>{5});
  EXPECT_EQ(board->getWriteCount("Board.gain"), 0u);

  test.writeScalar<double>("/gainRequest", 1.5);
  test.stepApplication();
  test.writeScalar<double>("/gainRequest", std::numeric_limits<double>::quiet_NaN());
  test.stepApplication();
  EXPECT_EQ(board->getRegister<double>("Board.gain"), std::vector<double>{1.5});
  EXPECT_EQ(countContaining(log.textsFrom("Device Board"), "/Board/gain"), 2u) << "both refusals are logged";

  board->takeWrittenRegisters();
  app.board.reportException("rewrite check");
  test.stepApplication();
  test.advanceTime(std::chrono::seconds(1));
  EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Board/status"), 0);
  EXPECT_EQ(board->getRegister<double>("Board.gain"), std::vector<double>{1.5});
  // what the registers took, in the order of the first accepted writes ("command" is an operator
  // setting, written with its initial value at start)
  EXPECT_EQ(board->takeWrittenRegisters(),
      (std::vector<std::string>{"/Board/setting", "/Board/command", "/Board/gain"}));
}

TEST(DeviceRecovery, FaultReportedWhileRecoveringStartsAnotherRecovery) {
  WatchApp app;
  int initialisations = 0;
  app.board.addInitialisationHandler([&](Device&) {
    // the link drops again while the device is being recovered
    if(++initialisations == 2) app.board.reportException("link lost while recovering");
  });
  TestFacility test(app);
  test.runApplication();
  app.board.reportException("link lost");
  test.stepApplication();
  test.advanceTime(std::chrono::seconds(1));
  EXPECT_EQ(initialisations, 2);
  EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Board/status"), 1);
  EXPECT_EQ(test.readScalar<std::string>("/Devices/Board/status_message"), "link lost while recovering");
  test.advanceTime(std::chrono::seconds(1));
  EXPECT_EQ(initialisations, 3);
  EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Board/status"), 0);
}

TEST(DeviceRecovery, ShutdownEndsWhileTheDeviceKeepsFailing) {
  auto board = boardThatCannotOpen();
  WatchApp app;
  TestFacility test(app);
  test.runApplication();
  test.advanceTime(std::chrono::seconds(3));
  ASSERT_EQ(test.readScalar<std::int32_t>("/Devices/Board/status"), 1);
  // the recovery waits for its next attempt on the virtual clock, which no longer moves: a
  // shutdown that waited for the attempt would never end
  std::promise<void> ended;
  auto hasEnded = ended.get_future();
  std::thread stopper([&] {
    app.shutdown();
    ended.set_value();
  });
  if(hasEnded.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    std::fprintf(stderr, "shutdown did not end within 10 s while the device kept failing\n");
    std::_Exit(1);
  }
  stopper.join();
  EXPECT_EQ(app.getState(), Application::State::shutDown);
}
