// The client interface of the firmware table mutex: where a client's group lands (relative and absolute mutex
// names, clients outside the mutex's subtree), the protocol checks that stop the process, and what a waiting
// lock() leaves behind when the application shuts down.
#include "MutexFixture.h"

#include <Corvane/Model.h>
#include <Corvane/Utilities.h>
#include <gtest/gtest.h>

#include <future>
#include <optional>
#include <set>

using namespace Corvane;
using namespace mutextest;
using std::chrono::microseconds;

namespace {

  const std::string filterMutex = "../../Configuration/filterCoefficientsValid";
  const std::string boardMutexPath = "/AdcBoard0/Configuration/filterCoefficientsValid";

  struct Channel : ModuleGroup {
    Channel(ModuleGroup* owner, const std::string& name)
    : ModuleGroup(owner, name, ""), filter(this, "Filter", filterMutex) {}
    Writer filter;
  };

  /// An ADC board whose channels' filter writers name the board's mutex relative to themselves, beside a
  /// writer of another mutex elsewhere.
  struct BoardApp : Application {
    explicit BoardApp(unsigned nChannels) : Application("mutexboard") {
      channels.reserve(nChannels);
      for(unsigned j = 0; j < nChannels; ++j) channels.emplace_back(&board, "Channel" + std::to_string(j));
      mutex = MultiClientFirmwareMutex(&board, "Configuration/filterCoefficientsValid", "");
    }

    SetDMapFilePath dmap{writeBoardFiles("mutexboard", boardMutexPath)};
    DeviceModule device{this, boardAlias};
    ModuleGroup board{this, "AdcBoard0", ""};
    Writer elsewhere{this, "Elsewhere", "/Elsewhere/lock"};
    std::vector<Channel> channels;
    MultiClientFirmwareMutex mutex;
  };

  std::size_t accessorsAt(const Application& app, const std::string& path) {
    auto variable = Model::rootDirectory(app).getProcessVariable(path);
    return variable ? variable->getNodes().size() : 0;
  }

} // namespace

TEST(ClientInterface, FilterClientsLandBelowTheirBoardsMutexOnePerModule) {
  BoardApp app(3);
  std::set<std::string> groups;
  for(auto& channel : app.channels) {
    auto& client = channel.filter.lockClient;
    EXPECT_EQ(client.getDescription(), "Firmware mutex client interface for "
                                       "../../Configuration/filterCoefficientsValid, client Filter");
    EXPECT_TRUE(client.getTags().empty());
    // one name component below the mutex, as the mutex name leads there from the filter module
    auto name = client.getName();
    ASSERT_EQ(name.rfind(filterMutex + "/", 0), 0u) << name;
    auto component = name.substr(filterMutex.size() + 1);
    EXPECT_EQ(component.find('/'), std::string::npos) << name;
    groups.insert(component);
    // the mutex's counterpart shares both paths
    EXPECT_EQ(accessorsAt(app, boardMutexPath + "/" + component + "/inhibit"), 2u);
    EXPECT_EQ(accessorsAt(app, boardMutexPath + "/" + component + "/acknowledged"), 2u);
  }
  EXPECT_EQ(groups.size(), 3u);
  // the writer of the other mutex got no counterpart
  auto elsewhere = MultiClientFirmwareMutex::ClientInterface::generateUniqueName(&app.elsewhere, "/Elsewhere/lock");
  EXPECT_EQ(accessorsAt(app, elsewhere + "/inhibit"), 1u);
  EXPECT_EQ(accessorsAt(app, elsewhere + "/acknowledged"), 1u);

  // and the board's filters lock through the relative name
  TestFacility test(app);
  auto board = findBoard();
  board->setRegister<std::int32_t>(boardMutexPath.substr(1) + "/actualState", {1});
  test.runApplication();
  const std::string filter0 = "/AdcBoard0/Channel0/Filter/";
  test.writeScalar<std::int32_t>(filter0 + "command", lockCommand);
  test.stepApplication();
  test.advanceTime(microseconds(10));
  EXPECT_EQ(test.readScalar<std::int32_t>(filter0 + "completed"), 1);
  EXPECT_EQ(board->getRegister<std::int32_t>(boardMutexPath.substr(1) + "/state").at(0), 0);
  test.writeScalar<std::int32_t>(filter0 + "command", unlockCommand);
  test.stepApplication();
  test.advanceTime(microseconds(10));
  EXPECT_EQ(test.readScalar<std::int32_t>(filter0 + "completed"), 2);
  EXPECT_EQ(board->getRegister<std::int32_t>(boardMutexPath.substr(1) + "/state").at(0), 1);
}

TEST(ClientInterface, ABoardWithoutChannelsHasAMutexWithoutClients) {
  try {
    BoardApp app(0);
    FAIL() << "construction succeeded";
  }
  catch(const Corvane::logic_error& e) {
    EXPECT_STREQ(e.what(), "MultiClientFirmwareMutex Configuration/filterCoefficientsValid: no "
                           "client interfaces found!");
  }
}

namespace {

  /// Stands where the mutex would and acknowledges every request of one writer with `answer`.
  struct LyingMutex : ApplicationModule {
    LyingMutex(ModuleGroup* owner, const std::string& clientPath, bool answer_)
    : ApplicationModule(owner, "Liar", ""), counterpart(this, clientPath, ""), answer(answer_) {}

    struct Counterpart : VariableGroup {
      using VariableGroup::VariableGroup;
      ScalarPushInput<Boolean> inhibit{this, "inhibit", "", ""};
      ScalarOutput<Boolean> acknowledged{this, "acknowledged", "", ""};
    };
    Counterpart counterpart;
    bool answer;

    void prepare() override { counterpart.acknowledged.write(); }
    void mainLoop() override {
      while(true) {
        counterpart.inhibit.read();
        counterpart.acknowledged.setAndWrite(answer);
      }
    }
  };

  struct LiarApp : Application {
    explicit LiarApp(bool answer)
    : Application("mutexliar"),
      liar(this, MultiClientFirmwareMutex::ClientInterface::generateUniqueName(&writer, controllerMutex), answer) {}
    ModuleGroup controller{this, "Controller", ""};
    Writer writer{&controller, "A", controllerMutex};
    LyingMutex liar;
  };

  /// Runs `commands` on writer "A" (of a station, or of a liar answering `liarAnswer` when set); returns how
  /// many of them returned.
  std::int32_t runCommands(const std::vector<Command>& commands, std::optional<bool> liarAnswer) {
    auto send = [&](TestFacility& test) {
      for(auto c : commands) {
        test.writeScalar<std::int32_t>("/Controller/A/command", c);
        test.stepApplication();
        test.advanceTime(microseconds(10));
      }
      return test.readScalar<std::int32_t>("/Controller/A/completed");
    };
    if(liarAnswer) {
      LiarApp app(*liarAnswer);
      TestFacility test(app);
      test.runApplication();
      return send(test);
    }
    Station station({"A"}, 1);
    return send(station.test);
  }

  struct ViolationCase {
    std::string name;
    std::vector<Command> commands;
    std::optional<bool> liarAnswer;
    std::string condition;
    friend void PrintTo(const ViolationCase& c, std::ostream* os) { *os << c.name; }
  };

  class ProtocolViolation : public ::testing::TestWithParam<ViolationCase> {};

} // namespace

TEST_P(ProtocolViolation, StopsTheProcessNamingTheCondition) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto& param = GetParam();
  EXPECT_DEATH(runCommands(param.commands, param.liarAnswer), "Assertion `" + param.condition + "' failed");
}

INSTANTIATE_TEST_SUITE_P(ClientInterface, ProtocolViolation,
    ::testing::Values(ViolationCase{"LockWhileHolding", {lockCommand, lockCommand}, std::nullopt, "!_inhibit"},
        ViolationCase{"UnlockWithoutHolding", {lockCommand, unlockCommand, unlockCommand}, std::nullopt, "_inhibit"},
        ViolationCase{"LockNotAcknowledged", {lockCommand}, false, "_acknowledged"},
        ViolationCase{"ReleaseNotAcknowledged", {lockCommand, unlockCommand}, true, "!_acknowledged"}),
    [](const auto& info) { return info.param.name; });

TEST(ClientInterface, KeepingTheProtocolDoesNotStopTheProcess) {
  // the counterpart of the death tests: commands in a valid order all return
  EXPECT_EQ(runCommands({lockCommand, unlockCommand, lockCommand, unlockCommand}, std::nullopt), 4);
}

TEST(ClientInterface, ShutdownEndsWaitingLocksAndWithdrawsTheirRequests) {
  Station station({"A", "B"}, 0); // the firmware never confirms
  station.command("A", lockCommand);
  station.command("B", lockCommand); // waits behind A's confirmation
  station.test.advanceTime(microseconds(100));
  ASSERT_EQ(station.completed("A"), 0);
  ASSERT_EQ(station.completed("B"), 0);

  auto shutdown = std::async(std::launch::async, [&] { station.app.shutdown(); });
  if(shutdown.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    ADD_FAILURE() << "shutdown did not end while clients waited for the mutex";
    std::_Exit(1); // the test cannot end cleanly with module threads still running
  }
  EXPECT_EQ(station.app.getState(), Application::State::shutDown);
  // a lock() that ended with an exception leaves no request standing
  for(auto& writer : station.app.writers) {
    auto inhibit = MultiClientFirmwareMutex::ClientInterface::generateUniqueName(&writer, controllerMutex) + "/inhibit";
    EXPECT_FALSE(station.test.readScalar<Boolean>(inhibit)) << inhibit;
    EXPECT_EQ(station.test.updateCount(inhibit), 3u) << inhibit; // initial false, request, withdrawal
  }
}
