// Simultaneous writes of one variable from two sides: an operator writes while a module writes the
// variable back (a write-back input) or writes its own output that operators may also set. Whatever the
// timing, the control system, the module and every other reader end with the value of the last write.
#include <Corvane/Corvane.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>

using namespace Corvane;

namespace {

  constexpr int limit = 10;

  /// Keeps the operator setting "/setting" at or below `limit`, writing the correction back; "/accepted"
  /// is the value the module holds.
  struct OrderLimiter : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInputWB<int> setting{this, "/setting", "", "operator setting"};
    ScalarOutput<int> accepted{this, "/accepted", "", "setting as the module holds it"};
    void mainLoop() override {
      while(true) {
        if(setting > limit) {
          setting = limit;
          setting.write();
        }
        accepted.setAndWrite(setting);
        setting.read();
      }
    }
  };

  /// Sets its output "/level" to every "/target" it gets; operators may set the level too (read-back).
  /// "/seenLevel" is the level the module holds.
  struct Follower : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarOutputPushRB<int> level{this, "/level", "", "level, settable"};
    ScalarPushInput<int> target{this, "/target", "", "level to take"};
    ScalarOutput<int> seen{this, "/seenLevel", "", "level as the module holds it"};
    void mainLoop() override {
      level.write();
      auto group = readAnyGroup();
      while(true) {
        seen.setAndWrite(level);
        if(group.readAny() == target.getId()) {
          level = int(target);
          level.write();
        }
      }
    }
  };

  /// Another reader of both variables, copying what it gets.
  struct Observer : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<int> setting{this, "/setting", "", ""};
    ScalarPushInput<int> level{this, "/level", "", ""};
    ScalarOutput<int> observedSetting{this, "/observedSetting", "", ""};
    ScalarOutput<int> observedLevel{this, "/observedLevel", "", ""};
    void mainLoop() override {
      auto group = readAnyGroup();
      while(true) {
        observedSetting.setAndWrite(setting);
        observedLevel.setAndWrite(level);
        group.readAny();
      }
    }
  };

  struct RacingApp : Application {
    RacingApp() : Application("writeorder") {}
    OrderLimiter limiter{this, "Limiter", ""};
    Follower follower{this, "Follower", ""};
    Observer observer{this, "Observer", ""};
  };

  /// Busy-waits a little, to spread the operator's write over the time in which the module writes.
  void stagger(int trial) {
    std::atomic<int> count{0};
    for(int i = 0; i < (trial % 32) * 40; ++i) count.fetch_add(1, std::memory_order_relaxed);
  }

  constexpr int trials = 1500;

  struct RaceCase {
    std::string name;
    std::string variable; // written by the operator and by the module
    std::string moduleTrigger; // makes the module write the variable
    std::string moduleHolds; // what the module holds
    std::string otherReader; // what another reader holds
    int moduleValue; // the module writes this on the trigger (for the limiter: the limit)
    friend void PrintTo(const RaceCase& c, std::ostream* os) { *os << c.name; }
  };

  class WriteOrder : public testing::TestWithParam<RaceCase> {};

} // namespace

TEST_P(WriteOrder, EveryParticipantEndsWithTheLastWrite) {
  const auto& race = GetParam();
  RacingApp app;
  TestFacility test(app);
  test.runApplication();
  int disagreements = 0;
  int moduleWins = 0;
  for(int trial = 0; trial < trials; ++trial) {
    const int operatorValue = trial % limit; // never corrected by the limiter
    // the module's write starts on this value, the operator's write comes while it runs
    test.writeScalar<int>(race.moduleTrigger, race.moduleTrigger == race.variable ? limit + 1 + trial : trial + 1000);
    stagger(trial);
    test.writeScalar<int>(race.variable, operatorValue);
    test.stepApplication();

    const int controlSystem = test.readScalar<int>(race.variable);
    const int module = test.readScalar<int>(race.moduleHolds);
    const int other = test.readScalar<int>(race.otherReader);
    if(controlSystem != module || controlSystem != other) {
      ++disagreements;
      if(disagreements <= 3) {
        ADD_FAILURE() << "trial " << trial << ": control system " << controlSystem << ", module " << module
                      << ", other reader " << other;
      }
    }
    if(controlSystem != operatorValue) ++moduleWins;
    // either write may come last, nothing else
    const int moduleValue = race.moduleValue == 0 ? trial + 1000 : race.moduleValue;
    EXPECT_TRUE(controlSystem == operatorValue || controlSystem == moduleValue) << "trial " << trial;
  }
  EXPECT_EQ(disagreements, 0);
  RecordProperty("moduleWroteLast", moduleWins);
}

INSTANTIATE_TEST_SUITE_P(Race, WriteOrder,
    testing::Values(
        // the operator's value over the limit makes the limiter write back while the next value comes
        RaceCase{"WriteBackInput", "/setting", "/setting", "/accepted", "/observedSetting", limit},
        // a new target makes the follower write its level while the operator sets the level
        RaceCase{"OutputWithReadBack", "/level", "/target", "/seenLevel", "/observedLevel", 0}),
    [](const auto& info) { return info.param.name; });
