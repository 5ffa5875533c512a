// A device's initialisation script inside an application: its output, failures, its time
// limit with the recovery's retry, shutdown while it runs, and the descriptors it gets.
#include "../device/ProcessInspection.h"
#include "DeviceFixture.h"

#include <Corvane/Corvane.h>
#include <Corvane/DeviceModule.h>
#include <Corvane/LogCapture.h>
#include <Corvane/ScriptedInitHandler.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Corvane;

namespace {

  struct ScriptedBoardApp : Application {
    ScriptedBoardApp(const std::string& command, unsigned int errorGracePeriod = 0,
        std::chrono::milliseconds timeLimit = ScriptedInitHandler::defaultTimeLimit)
    : Application("scripted") {
      board = DeviceModule(this, "Board", "/trigger");
      init = ScriptedInitHandler(
          this, "Init", "Board initialisation", command, board, "initScriptOutput", errorGracePeriod, timeLimit);
    }
    SetDMapFilePath dmap{deviceapp::writeBoardFiles("scripted")};
    DeviceModule board;
    ScriptedInitHandler init;
  };

  std::string readFile(const std::string& name) {
    std::ifstream in(name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

  TEST(ScriptedInitHandler, PublishesTheOutputAndJudgesTheExitStatus) {
    struct Case {
      const char* command;
      const char* output;
      int status;          // of the device
      const char* message; // in the device's status message
    };
    const Case cases[] = {
        {"echo board ready", "board ready\n", 0, ""},
        {"echo to stdout; echo to stderr >&2", "to stdout\nto stderr\n", 0, ""},
        {"echo cannot reach the board; exit 2", "cannot reach the board\n", 1, "failed with exit status 2"},
        {"echo going; kill -KILL $$", "going\n", 1, "was ended by signal 9"},
    };
    for(const auto& c : cases) {
      ScriptedBoardApp app(c.command);
      TestFacility test(app);
      test.runApplication();
      EXPECT_EQ(test.readScalar<std::string>("/Init/initScriptOutput"), c.output) << c.command;
      EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Board/status"), c.status) << c.command;
      auto message = test.readScalar<std::string>("/Devices/Board/status_message");
      EXPECT_TRUE(contains(message, c.message)) << c.command << ": " << message;
    }
  }

  TEST(ScriptedInitHandler, AScriptOverItsTimeLimitFailsAndIsRetried) {
    std::remove("init_ok");
    std::remove("runs.log");
    const std::string command = "echo run >> runs.log; echo started; test -e init_ok || sleep 20";
    LogCapture log;
    ScriptedBoardApp app(command, 0, std::chrono::milliseconds(300));
    TestFacility test(app);
    test.runApplication();
    auto message = test.readScalar<std::string>("/Devices/Board/status_message");
    EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Board/status"), 1);
    for(const auto* part : {"did not end within its time limit of 300 ms", "of device Board", command.c_str()})
      EXPECT_TRUE(contains(message, part)) << message;
    // what it printed before it was stopped is published and logged
    EXPECT_EQ(test.readScalar<std::string>("/Init/initScriptOutput"), "started\n");
    auto logged = log.textsFrom("Board initialisation");
    ASSERT_FALSE(logged.empty());
    EXPECT_TRUE(contains(logged.back(), "time limit") && contains(logged.back(), "started")) << logged.back();
    EXPECT_EQ(readFile("runs.log"), "run\n");

    std::ofstream("init_ok") << "";
    test.advanceTime(std::chrono::seconds(1));
    EXPECT_EQ(test.readScalar<std::int32_t>("/Devices/Board/status"), 0);
    EXPECT_EQ(readFile("runs.log"), "run\nrun\n");
    std::remove("init_ok");
  }

  TEST(ScriptedInitHandler, ShutdownDuringARunningScriptStopsItAtOnce) {
    std::remove("script.pid");
    ScriptedBoardApp app("echo $$ > script.pid.new && mv script.pid.new script.pid; sleep 20 & sleep 20");
    TestFacility test(app);
    app.run(); // not stepped: the device's thread stays busy with the script
    pid_t script = 0;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while(script == 0 && std::chrono::steady_clock::now() < end) {
      std::ifstream("script.pid") >> script;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_NE(script, 0) << "the script did not start";
    EXPECT_EQ(::getpgid(script), script); // a process group of its own

    auto started = std::chrono::steady_clock::now();
    app.shutdown();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
    // the script's group is gone with everything the script started
    EXPECT_TRUE(CorvaneTest::groupEnds(script));
  }

  TEST(ScriptedInitHandler, TheScriptGetsOnlyItsStandardStreams) {
    // a listening socket and a file of the program, left without close-on-exec
    CorvaneTest::InheritableDescriptors inheritable("/proc/self/status");
    ASSERT_TRUE(inheritable.open());

    ScriptedBoardApp app("ls /proc/$$/fd");
    TestFacility test(app);
    test.runApplication();
    EXPECT_EQ(test.readScalar<std::string>("/Init/initScriptOutput"), "0\n1\n2\n");
  }

} // namespace
