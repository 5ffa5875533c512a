// Device modules inside an application: triggered reads with the trigger's version, poll reads,
// writes, fault and recovery, initialisation handlers, and configuration errors.
#include "DeviceFixture.h"

#include <Corvane/Corvane.h>
#include <Corvane/DeviceModule.h>
#include <Corvane/LogCapture.h>
#include <Corvane/ScriptedInitHandler.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

using namespace Corvane;
using deviceapp::dummy;

namespace {

  struct Consumer : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<std::uint32_t> status{this, "/Board/status", "", ""};
    ArrayPushInput<std::int32_t> daq0{this, "/Board/daq0", "", 4, ""};
    ScalarPollInput<std::int32_t> other{this, "/Other/value", "", ""};
    ScalarPushInput<int> poll{this, "/pollNow", "", ""};
    ScalarOutput<std::int32_t> polled{this, "/polled", "", ""};
    ScalarOutput<std::uint32_t> statusSeen{this, "/statusSeen", "", ""};
    ScalarOutput<std::int32_t> daqSum{this, "/daqSum", "", ""};
    void mainLoop() override {
      auto group = readAnyGroup();
      while(true) {
        statusSeen.setAndWrite(status);
        daqSum.setAndWrite(daq0[0] + daq0[1] + daq0[2] + daq0[3]);
        polled.setAndWrite(other);
        group.readAny();
      }
    }
  };

  struct Writer : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<int> request{this, "/request", "", ""};
    ScalarOutput<std::int32_t> setting{this, "/Board/setting", "", ""};
    ScalarOutput<std::uint32_t> command{this, "/Board/command", "", ""};
    ScalarOutput<double> gain{this, "/Board/gain", "", ""};
    void prepare() override { setting.setAndWrite(-1); } // held until the device is open
    void mainLoop() override {
      while(true) {
        request.read();
        setting.setAndWrite(request);
        command.setAndWrite(std::uint32_t(request) * 2);
        gain.setAndWrite(request / 4.);
      }
    }
  };

  struct BoardApp : Application {
    BoardApp(std::function<void(Device&)> handler = {}) : Application("boards") {
      board = DeviceModule(this, "Board", "/trigger", std::move(handler));
    }
    SetDMapFilePath dmap{deviceapp::writeBoardFiles("boards", "writeRecordingDummy")};
    DeviceModule board;
    Consumer consumer{this, "Consumer", ""};
    Writer writer{this, "Writer", ""};
  };

} // namespace

TEST(DeviceModule, TriggeredReadsCarryTheTriggerVersion) {
  BoardApp app;
  TestFacility test(app);
  test.runApplication();
  auto board = dummy("Board");
  ASSERT_TRUE(board);
  EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Board/status"), 0);

  board->setRegister<std::uint32_t>("Board.status", {7});
  board->setRegister<std::int32_t>("Board.daq", {1, 2, 3, 4, 10, 20, 30, 40});
  VersionNumber triggerVersion;
  test.writeScalar<std::int64_t>("/trigger", 1, triggerVersion);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<std::uint32_t>("/statusSeen"), 7u);
  EXPECT_EQ(test.readScalar<std::int32_t>("/daqSum"), 10);
  EXPECT_EQ(test.readArray<std::int32_t>("/Board/daq"), (std::vector<std::int32_t>{1, 2, 3, 4, 10, 20, 30, 40}));
  EXPECT_EQ(test.getVersion("/Board/status"), triggerVersion);
  EXPECT_EQ(test.getVersion("/daqSum"), triggerVersion);

  // a poll input reads the board at each read, without a trigger
  board->setRegister<std::int32_t>("Other.value", {-5});
  test.writeScalar<int>("/pollNow", 1);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<std::int32_t>("/polled"), -5);
}

TEST(DeviceModule, WritesReachTheBoardWithConversion) {
  BoardApp app;
  TestFacility test(app);
  test.runApplication();
  auto board = dummy("Board");
  EXPECT_EQ(board->getRegister<std::int32_t>("Board.setting"), std::vector<std::int32_t>{-1}); // from prepare()
  test.writeScalar<int>("/request", 6);
  test.stepApplication();
  EXPECT_EQ(board->getRegister<std::int32_t>("Board.setting"), std::vector<std::int32_t>{6});
  EXPECT_EQ(board->getRegister<std::uint32_t>("Board.command"), std::vector<std::uint32_t>{12});
  EXPECT_EQ(board->getRegister<double>("Board.gain"), std::vector<double>{1.5});
  // registers read by nobody are still published; read-only ones cannot be written
  EXPECT_FALSE(app.getControlSystem().variable("/Board/status").isWritable());
}

TEST(DeviceModule, FaultHoldsWritesAndRecoveryRewritesThemInOrder) {
  int initialisations = 0;
  BoardApp app([&](Device&) { ++initialisations; });
  TestFacility test(app);
  test.runApplication();
  auto board = dummy("Board");
  EXPECT_EQ(initialisations, 1);

  board->setReadFails(true);
  test.writeScalar<std::int64_t>("/trigger", 1);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Board/status"), 1);
  EXPECT_FALSE(test.readScalar<std::string>("/Devices/Board/status_message").empty());

  // while faulty: writes are held, poll reads give the last value marked faulty
  auto writesBefore = board->getWriteCount("Board.setting");
  test.writeScalar<int>("/request", 8);
  test.writeScalar<int>("/pollNow", 1);
  test.stepApplication();
  EXPECT_EQ(board->getWriteCount("Board.setting"), writesBefore);
  EXPECT_EQ(test.getValidity("/polled"), DataValidity::faulty);

  board->setReadFails(false);
  board->setOpenFails(true);
  test.advanceTime(std::chrono::seconds(1));
  EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Board/status"), 1); // still cannot open
  board->setOpenFails(false);
  board->setRegister<std::uint32_t>("Board.status", {3});
  deviceapp::recordingDummy("Board")->takeWrittenRegisters();
  test.advanceTime(std::chrono::seconds(1));
  EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Board/status"), 0);
  EXPECT_EQ(initialisations, 2);
  EXPECT_EQ(board->getRegister<std::int32_t>("Board.setting"), std::vector<std::int32_t>{8});
  EXPECT_EQ(board->getRegister<std::uint32_t>("Board.command"), std::vector<std::uint32_t>{16});
  EXPECT_EQ(board->getRegister<double>("Board.gain"), std::vector<double>{2});
  // every written register once, in the order of the first writes ("setting" from prepare())
  EXPECT_EQ(deviceapp::recordingDummy("Board")->takeWrittenRegisters(),
      (std::vector<std::string>{"/Board/setting", "/Board/command", "/Board/gain"}));

  // triggers work again
  test.writeScalar<std::int64_t>("/trigger", 2);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<std::uint32_t>("/statusSeen"), 3u);
  EXPECT_EQ(test.getValidity("/statusSeen"), DataValidity::ok);
}

TEST(DeviceModule, ReportExceptionReinitialises) {
  int initialisations = 0;
  BoardApp app([&](Device&) { ++initialisations; });
  TestFacility test(app);
  test.runApplication();
  LogCapture log("Device Board");
  app.board.reportException("Reinitialisation by user request");
  test.stepApplication();
  EXPECT_EQ(test.readScalar<std::string>("/Devices/Board/status_message"), "Reinitialisation by user request");
  test.advanceTime(std::chrono::seconds(1));
  EXPECT_EQ(initialisations, 2);
  EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Board/status"), 0);
  // a reported exception is a fault, logged as an error
  auto messages = log.messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].severity, Logger::Severity::error);
  EXPECT_EQ(messages[0].text, "fault: Reinitialisation by user request");
}

TEST(DeviceModule, DeviceThatCannotOpenAtStartKeepsReadersWaiting) {
  deviceapp::writeBoardFiles("boards", "writeRecordingDummy"); // the files BoardApp writes
  setDMapFilePath("boards.dmap");
  auto backend = BackendFactory::getInstance().createBackend("Board"); // hold it to inject the failure
  std::dynamic_pointer_cast<DummyBackend>(backend)->setOpenFails(true);
  BoardApp app;
  TestFacility test(app);
  test.runApplication();
  EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Board/status"), 1);
  EXPECT_EQ(test.updateCount("/statusSeen"), 0u); // the consumer waits for its initial values
  std::dynamic_pointer_cast<DummyBackend>(backend)->setOpenFails(false);
  test.advanceTime(std::chrono::seconds(1));
  EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Board/status"), 0);
  // one pass on the first values; the trigger's initial value came before the opening, and its
  // pulse is not read afterwards (its version is older than the first values')
  EXPECT_EQ(test.updateCount("/statusSeen"), 1u);
  auto firstValues = test.getVersion("/Board/status");
  EXPECT_GT(firstValues, test.getVersion("/trigger"));
  VersionNumber next;
  test.writeScalar<std::int64_t>("/trigger", 2, next);
  test.stepApplication();
  EXPECT_EQ(test.getVersion("/Board/status"), next);
}

namespace {
  struct BadOutput : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarOutput<std::uint32_t> status{this, "/Board/status", "", ""};
    void mainLoop() override {}
  };
  struct ErrorApp : Application {
    explicit ErrorApp(int which) : Application("errors") {
      if(which == 0) board = DeviceModule(this, "NoSuchAlias", "/trigger");
      if(which == 1) board = DeviceModule(this, "Board", "/trigger", {}, "/NoSuchDirectory");
      if(which == 2) {
        board = DeviceModule(this, "Board", "/trigger");
        bad = BadOutput(this, "Bad", "");
      }
    }
    SetDMapFilePath dmap{deviceapp::writeBoardFiles("errors")};
    DeviceModule board;
    BadOutput bad;
  };

  std::string errorOf(int which) {
    try {
      ErrorApp app(which);
      app.initialise();
    }
    catch(Corvane::logic_error& e) {
      return e.what();
    }
    return "";
  }
} // namespace

TEST(DeviceModule, ConfigurationErrorsNameWhatIsWrong) {
  EXPECT_NE(errorOf(0).find("NoSuchAlias"), std::string::npos) << errorOf(0);
  EXPECT_NE(errorOf(1).find("NoSuchDirectory"), std::string::npos) << errorOf(1);
  auto twoFeeders = errorOf(2);
  EXPECT_NE(twoFeeders.find("/Board/status"), std::string::npos) << twoFeeders;
  EXPECT_NE(twoFeeders.find("errors.map"), std::string::npos) << twoFeeders;
}

namespace {
  struct ScriptApp : Application {
    explicit ScriptApp(const std::string& command) : Application("script") {
      board = DeviceModule(this, "Board", "/trigger");
      init = ScriptedInitHandler(this, "Init", "Board initialisation", command, board, "initScriptOutput", 2);
    }
    SetDMapFilePath dmap{deviceapp::writeBoardFiles("script")};
    DeviceModule board;
    ScriptedInitHandler init;
  };
} // namespace

TEST(DeviceModule, ScriptedInitialisationPublishesOutputAndRetries) {
  {
    ScriptApp app("echo board ready");
    TestFacility test(app);
    test.runApplication();
    EXPECT_EQ(test.readScalar<std::string>("/Init/initScriptOutput"), "board ready\n");
    EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Board/status"), 0);
  }
  std::remove("init_ok");
  ScriptApp app("echo trying; test -e init_ok");
  TestFacility test(app);
  test.runApplication();
  EXPECT_EQ(test.readScalar<std::string>("/Init/initScriptOutput"), "trying\n");
  // within the grace period the failure is silent
  EXPECT_NE(test.readScalar<std::int32_t>("/Devices/Board/status"), 1);
  test.advanceTime(std::chrono::seconds(1));
  EXPECT_NE(test.readScalar<std::int32_t>("/Devices/Board/status"), 1);
  test.advanceTime(std::chrono::seconds(1));
  EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Board/status"), 1);
  std::ofstream("init_ok") << "";
  test.advanceTime(std::chrono::seconds(1));
  EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Board/status"), 0);
  std::remove("init_ok");
}

namespace {
  /// Writes its trigger for the first time only when asked: the first pulse of a DAQ mode
  /// entered later.
  struct LateTrigger : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<int> go{this, "/go", "", ""};
    ScalarOutput<std::int64_t> trigger{this, "/lateTrigger", "", ""};
    void mainLoop() override {
      go.read();
      trigger.setAndWrite(1);
    }
  };
  struct LateApp : Application {
    LateApp() : Application("late") {}
    SetDMapFilePath dmap{deviceapp::writeBoardFiles("late")};
    DeviceModule board{this, "Board", "/lateTrigger"};
    LateTrigger late{this, "Late", ""};
  };
} // namespace

TEST(DeviceModule, FirstValueOfALateTriggerIsReadToo) {
  LateApp app;
  TestFacility test(app);
  test.runApplication();
  dummy("Board")->setRegister<std::uint32_t>("Board.status", {9});
  test.writeScalar<int>("/go", 1);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<std::uint32_t>("/Board/status"), 9u);
}
