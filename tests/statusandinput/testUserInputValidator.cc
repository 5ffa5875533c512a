// The user-input validator inside a running module: first check with fallbacks, restores to the
// last accepted value, write-back seen by the control system and other readers, no wake-up of
// the module itself, fallbacks changed at run time, rules on inputs without write-back.
#include <Corvane/Corvane.h>
#include <Corvane/TestFacility.h>
#include <Corvane/UserInputValidator.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace Corvane;

namespace {

  /// Operator settings guarded by a validator; publishes the values it works with.
  struct Guarded : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInputWB<std::uint32_t> decimation{this, "/decimation", "", "decimation factor"};
    ScalarPushInput<std::int32_t> cwMode{this, "/cwMode", "", "continuous wave when non-zero"};
    ScalarPushInputWB<double> low{this, "/low", "", "lower limit"};
    ScalarPushInputWB<double> high{this, "/high", "", "upper limit"};
    ScalarPushInput<double> ratio{this, "/ratio", "", "ratio, no write-back"};
    ScalarPushInputWB<std::uint8_t> shift{this, "/shift", "", "bit shift, no fallback"};
    ScalarPushInputWB<double> stop{this, "/stop", "", "stop time, fallback follows offset"};
    ScalarPushInput<double> offset{this, "/offset", "", "not watched"};
    ScalarPushInput<int> pause{this, "/pause", "", "a write makes the module sleep for 1 s after its pass"};

    struct Used : VariableGroup {
      using VariableGroup::VariableGroup;
      ScalarOutput<std::uint32_t> decimation{this, "decimation", "", ""};
      ScalarOutput<double> low{this, "low", "", ""};
      ScalarOutput<double> high{this, "high", "", ""};
      ScalarOutput<double> ratio{this, "ratio", "", ""};
      ScalarOutput<std::uint32_t> shift{this, "shift", "", ""};
      ScalarOutput<double> stop{this, "stop", "", ""};
    } used{this, "/Used", "values the module works with"};
    ScalarOutput<int> passes{this, "/passes", "", "passes of the loop"};
    ScalarOutput<int> restores{this, "/restores", "", "validations that restored a value"};
    ScalarOutput<std::string> log{this, "/log", "", "every reported message, each ended by ';'"};

    UserInputValidator validator;

    void prepare() override {
      validator.setErrorFunction([this](const std::string& message) { log = log.value() + message + ";"; });
      validator.setFallback(decimation, 1);
      validator.add("Decimation must not be zero.", [this] { return decimation != 0; }, decimation);
      // a rule on changes only: at the first check there is no accepted value to compare with
      validator.add("Decimation cannot change in pulsed mode.",
          [this] {
            auto accepted = validator.lastAcceptedValue(decimation);
            return cwMode != 0 || !accepted || *accepted == decimation;
          },
          decimation);
      validator.setFallback(low, 0.1);
      validator.setFallback(high, 2.0);
      validator.setFallback(ratio, 0.5);
      validator.add("Low must be positive.", [this] { return low > 0.; }, low);
      validator.add("High must be above low.", [this] { return high > low; }, low, high);
      validator.add("Ratio must not be negative.", [this] { return ratio >= 0.; }, ratio);
      validator.add("Shift out of range.", [this] { return shift <= 8; }, shift);
      validator.add("Stop out of range.", [this] { return stop > offset && stop < 100.; }, stop);
    }

    void mainLoop() override {
      auto group = readAnyGroup();
      TransferElementID change;
      while(true) {
        validator.setFallback(stop, offset + 1.);
        if(validator.validate(change)) restores = restores + 1;
        used.decimation = decimation;
        used.low = low;
        used.high = high;
        used.ratio = ratio;
        used.shift = shift;
        used.stop = stop;
        passes = passes + 1;
        writeAll(false);
        // while it sleeps, tests can queue several writes that reach every reader before it wakes
        if(change == pause.getId()) sleepFor(std::chrono::seconds(1));
        change = group.readAny();
      }
    }
  };

  /// Another reader of the decimation: sees what the control system writes and what is written back.
  struct Observer : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<std::uint32_t> decimation{this, "/decimation", "", ""};
    ScalarOutput<std::uint32_t> last{this, "last", "", ""};
    ScalarOutput<int> count{this, "count", "", ""};
    void mainLoop() override {
      while(true) {
        last.setAndWrite(decimation);
        count.setAndWrite(count + 1);
        decimation.read();
      }
    }
  };

  struct ValidatorApp : Application {
    ValidatorApp() : Application("validator") {}
    Guarded guarded{this, "Guarded", "validated settings"};
    Observer observer{this, "Observer", "second reader"};
  };

  /// Valid start values; a test overrides some of them.
  void setValidDefaults(TestFacility& test) {
    test.setScalarDefault<std::uint32_t>("/decimation", 3);
    test.setScalarDefault<std::int32_t>("/cwMode", 1);
    test.setScalarDefault<double>("/low", 0.5);
    test.setScalarDefault<double>("/high", 1.5);
    test.setScalarDefault<double>("/ratio", 0.7);
    test.setScalarDefault<std::uint8_t>("/shift", 4);
    test.setScalarDefault<double>("/stop", 5.);
    test.setScalarDefault<double>("/offset", 1.);
  }

} // namespace

TEST(UserInputValidator, FirstCheckUsesFallbacks) {
  struct Case {
    std::string name;
    std::function<void(TestFacility&)> start;
    std::uint32_t decimation;
    double low, high, ratio;
    std::uint32_t shift;
    std::string log;
    int restores;
  };
  std::vector<Case> cases{
      {"valid", [](TestFacility&) {}, 3, 0.5, 1.5, 0.7, 4, "", 0},
      {"zero decimation", [](TestFacility& t) { t.setScalarDefault<std::uint32_t>("/decimation", 0); }, 1, 0.5, 1.5,
          0.7, 4, "Decimation must not be zero.;", 1},
      {"change rule does not apply at start",
          [](TestFacility& t) {
            t.setScalarDefault<std::int32_t>("/cwMode", 0);
            t.setScalarDefault<std::uint32_t>("/decimation", 5);
          },
          5, 0.5, 1.5, 0.7, 4, "", 0},
      {"low not positive", [](TestFacility& t) { t.setScalarDefault<double>("/low", 0.); }, 3, 0.1, 1.5, 0.7, 4,
          "Low must be positive.;", 1},
      {"low NaN", [](TestFacility& t) { t.setScalarDefault<double>("/low", std::nan("")); }, 3, 0.1, 1.5, 0.7, 4,
          "Low must be positive.;", 1},
      {"pair invalid: both take their fallbacks",
          [](TestFacility& t) {
            t.setScalarDefault<double>("/low", 3.);
            t.setScalarDefault<double>("/high", 2.5);
          },
          3, 0.1, 2.0, 0.7, 4, "High must be above low.;", 1},
      {"no fallback: value kept and reported", [](TestFacility& t) { t.setScalarDefault<std::uint8_t>("/shift", 9); },
          3, 0.5, 1.5, 0.7, 9, "Shift out of range.;", 0},
  };
  for(auto& c : cases) {
    ValidatorApp app;
    TestFacility test(app);
    setValidDefaults(test);
    c.start(test);
    test.runApplication();
    EXPECT_EQ(test.readScalar<std::uint32_t>("/Used/decimation"), c.decimation) << c.name;
    EXPECT_DOUBLE_EQ(test.readScalar<double>("/Used/low"), c.low) << c.name;
    EXPECT_DOUBLE_EQ(test.readScalar<double>("/Used/high"), c.high) << c.name;
    EXPECT_DOUBLE_EQ(test.readScalar<double>("/Used/ratio"), c.ratio) << c.name;
    EXPECT_EQ(test.readScalar<std::uint32_t>("/Used/shift"), c.shift) << c.name;
    EXPECT_EQ(test.readScalar<std::string>("/log"), c.log) << c.name;
    EXPECT_EQ(test.readScalar<int>("/restores"), c.restores) << c.name;
    // what the module uses is what the control system shows (all of these have write-back)
    EXPECT_EQ(test.readScalar<std::uint32_t>("/decimation"), c.decimation) << c.name;
    EXPECT_DOUBLE_EQ(test.readScalar<double>("/low"), c.low) << c.name;
    EXPECT_DOUBLE_EQ(test.readScalar<double>("/high"), c.high) << c.name;
  }
}

TEST(UserInputValidator, RejectedChangeReturnsToLastAcceptedValue) {
  ValidatorApp app;
  TestFacility test(app);
  setValidDefaults(test);
  test.runApplication();
  test.writeScalar<int>("/pause", 1);
  test.stepApplication();
  auto passes = test.readScalar<int>("/passes");
  auto operatorUpdates = test.updateCount("/decimation");

  // zero is rejected: the module, the control system and the other reader all get 3 back
  test.writeScalar<std::uint32_t>("/decimation", 0);
  test.advanceTime(std::chrono::seconds(1));
  EXPECT_EQ(test.readScalar<std::uint32_t>("/Used/decimation"), 3u);
  EXPECT_EQ(test.readScalar<std::uint32_t>("/decimation"), 3u);
  EXPECT_EQ(test.readScalar<std::uint32_t>("/Observer/last"), 3u);
  EXPECT_EQ(test.readScalar<int>("/Observer/count"), 3); // initial value, 0, 3
  EXPECT_EQ(test.readScalar<std::string>("/log"), "Decimation must not be zero.;");
  EXPECT_EQ(test.readScalar<int>("/restores"), 1);
  // the operator's write and the write-back reached the control system ...
  EXPECT_EQ(test.updateCount("/decimation"), operatorUpdates + 2);
  // ... but the module woke only for the operator's write, never for its own write-back
  EXPECT_EQ(test.readScalar<int>("/passes"), passes + 1);

  // in pulsed mode a change is refused and the previous accepted value returns
  test.writeScalar<std::uint32_t>("/decimation", 6);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<std::uint32_t>("/decimation"), 6u);
  test.writeScalar<std::int32_t>("/cwMode", 0);
  test.writeScalar<std::uint32_t>("/decimation", 2);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<std::uint32_t>("/decimation"), 6u);
  EXPECT_EQ(test.readScalar<std::uint32_t>("/Used/decimation"), 6u);
  EXPECT_EQ(test.readScalar<std::string>("/log"),
      "Decimation must not be zero.;Decimation cannot change in pulsed mode.;");

  // zero now returns to 6, the last accepted value, not to the fallback
  test.writeScalar<std::int32_t>("/cwMode", 1);
  test.writeScalar<std::uint32_t>("/decimation", 0);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<std::uint32_t>("/decimation"), 6u);
  EXPECT_EQ(test.readScalar<int>("/restores"), 3);
  EXPECT_EQ(test.readScalar<int>("/passes"), passes + 6);
}

TEST(UserInputValidator, PairRuleRestoresOnlyWhatChanged) {
  ValidatorApp app;
  TestFacility test(app);
  setValidDefaults(test);
  test.runApplication();
  auto lowUpdates = test.updateCount("/low");
  test.writeScalar<double>("/high", 0.2);
  test.stepApplication();
  EXPECT_DOUBLE_EQ(test.readScalar<double>("/high"), 1.5);
  // low held its accepted value, so nothing was written back to it
  EXPECT_DOUBLE_EQ(test.readScalar<double>("/low"), 0.5);
  EXPECT_EQ(test.updateCount("/low"), lowUpdates);
  test.writeScalar<double>("/low", 1.0);
  test.stepApplication();
  EXPECT_DOUBLE_EQ(test.readScalar<double>("/Used/low"), 1.0);
  EXPECT_EQ(test.readScalar<std::string>("/log"), "High must be above low.;");
}

TEST(UserInputValidator, InputWithoutWriteBackIsRestoredLocally) {
  ValidatorApp app;
  TestFacility test(app);
  setValidDefaults(test);
  test.runApplication();
  auto updates = test.updateCount("/ratio");
  test.writeScalar<double>("/ratio", -2.);
  test.stepApplication();
  EXPECT_DOUBLE_EQ(test.readScalar<double>("/Used/ratio"), 0.7);
  EXPECT_DOUBLE_EQ(test.readScalar<double>("/ratio"), -2.); // nothing is sent back
  EXPECT_EQ(test.updateCount("/ratio"), updates + 1);
  EXPECT_EQ(test.readScalar<std::string>("/log"), "Ratio must not be negative.;");
  EXPECT_EQ(test.readScalar<int>("/restores"), 1);
}

TEST(UserInputValidator, FallbackSetAtRunTimeIsUsed) {
  ValidatorApp app;
  TestFacility test(app);
  setValidDefaults(test);
  // stop is invalid at start and so is its fallback (offset + 1 = 201): nothing is accepted
  test.setScalarDefault<double>("/offset", 200.);
  test.setScalarDefault<double>("/stop", 300.);
  test.runApplication();
  EXPECT_DOUBLE_EQ(test.readScalar<double>("/stop"), 201.);
  EXPECT_EQ(test.readScalar<std::string>("/log"), "Stop out of range.;");

  // the module moves the fallback with the offset; a rejected stop then takes the new one
  test.writeScalar<double>("/offset", 10.);
  test.stepApplication();
  test.writeScalar<double>("/stop", 500.);
  test.stepApplication();
  EXPECT_DOUBLE_EQ(test.readScalar<double>("/stop"), 11.);
  EXPECT_DOUBLE_EQ(test.readScalar<double>("/Used/stop"), 11.);
  // 11 is valid and now accepted: the next rejection returns to it, whatever the fallback
  test.writeScalar<double>("/offset", 20.);
  test.stepApplication();
  test.writeScalar<double>("/stop", 0.);
  test.stepApplication();
  EXPECT_DOUBLE_EQ(test.readScalar<double>("/stop"), 11.);
}

TEST(UserInputValidator, NewerPendingValueSupersedesTheRestore) {
  ValidatorApp app;
  TestFacility test(app);
  setValidDefaults(test);
  test.runApplication();
  test.writeScalar<int>("/pause", 1);
  test.stepApplication();
  // both arrive while the module sleeps: 0 is rejected, but 7 is already waiting
  test.writeScalar<std::uint32_t>("/decimation", 0);
  test.writeScalar<std::uint32_t>("/decimation", 7);
  test.advanceTime(std::chrono::seconds(1));
  EXPECT_EQ(test.readScalar<std::uint32_t>("/Used/decimation"), 7u);
  EXPECT_EQ(test.readScalar<std::uint32_t>("/decimation"), 7u);
  EXPECT_EQ(test.readScalar<std::string>("/log"), "Decimation must not be zero.;");
}

namespace {
  struct Throwing : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInputWB<double> value{this, "/value", "", ""};
    void mainLoop() override {
      UserInputValidator validator;
      validator.add(
          "Value must be small.", [this]() -> bool { throw std::out_of_range("table index " + std::to_string(value)); },
          value);
      validator.validate({});
    }
  };
  struct ThrowingApp : Application {
    ThrowingApp() : Application("throwing") {}
    Throwing module{this, "Throwing", ""};
  };

  struct WithOutput : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarOutput<double> result{this, "/result", "", ""};
    void mainLoop() override {}
  };
  struct OutputApp : Application {
    OutputApp() : Application("output") {}
    WithOutput module{this, "Module", ""};
  };
} // namespace

TEST(UserInputValidator, ThrowingPredicateStopsTheModuleNamingTheRule) {
  ThrowingApp app;
  TestFacility test(app);
  try {
    test.runApplication();
    FAIL() << "the module should have failed";
  }
  catch(Corvane::runtime_error& e) {
    std::string message = e.what();
    EXPECT_NE(message.find("/throwing/Throwing"), std::string::npos) << message;
    EXPECT_NE(message.find("\"Value must be small.\" on /value"), std::string::npos) << message;
    EXPECT_NE(message.find("table index"), std::string::npos) << message;
  }
}

TEST(UserInputValidator, RulesWatchInputsOnly) {
  OutputApp app;
  UserInputValidator validator;
  try {
    validator.add("never", [] { return true; }, app.module.result);
    FAIL() << "an output was accepted";
  }
  catch(Corvane::logic_error& e) {
    EXPECT_NE(std::string(e.what()).find("/result is an output"), std::string::npos) << e.what();
  }
}

namespace {
  /// Guards "/length" against its own limit, falling back to its own value; counts its passes.
  struct LengthGuard : ApplicationModule {
    LengthGuard(ModuleGroup* owner, const std::string& name, double fallback)
    : ApplicationModule(owner, name, "guards the length"), _fallback(fallback) {}
    ScalarPushInputWB<double> length{this, "/length", "us", "a duration both modules guard"};
    ScalarPushInput<double> limit{this, "limit", "us", "longest length this module takes"};
    ScalarOutput<double> used{this, "used", "us", "the length the module works with"};
    ScalarOutput<int> passes{this, "passes", "", "passes of the loop"};
    UserInputValidator validator;
    double _fallback;

    void prepare() override {
      validator.setFallback(length, _fallback);
      validator.add("Length too long.", [this] { return length <= limit; }, length, limit);
    }
    void mainLoop() override {
      auto group = readAnyGroup();
      TransferElementID change;
      while(true) {
        validator.validate(change);
        used = length;
        passes = passes + 1;
        writeAll(false);
        change = group.readAny();
      }
    }
  };

  struct TwoGuardsApp : Application {
    TwoGuardsApp() : Application("twoguards") {}
    LengthGuard first{this, "First", 1.0};
    LengthGuard second{this, "Second", 2.0};
  };
} // namespace

// Where no value satisfies the rules of two modules that guard one setting with different fallbacks,
// each answers a write once: the other's answer carries the version of the same write and is restored
// locally, not sent back again (they would otherwise send each other their fallbacks for ever, and the
// step would never come to rest).
TEST(UserInputValidator, AnAnswerToTheSameWriteIsNotAnsweredAgain) {
  TwoGuardsApp app;
  TestFacility test(app);
  test.setScalarDefault<double>("/length", 5.0);
  test.setScalarDefault<double>("/First/limit", 0.5);
  test.setScalarDefault<double>("/Second/limit", 0.5);
  test.runApplication();
  EXPECT_DOUBLE_EQ(test.readScalar<double>("/First/used"), 1.0);
  EXPECT_DOUBLE_EQ(test.readScalar<double>("/Second/used"), 2.0);
  const auto shown = [&] { return test.readScalar<double>("/length"); };
  EXPECT_TRUE(shown() == 1.0 || shown() == 2.0) << shown();
  // an operator value that breaks the rules again: each module checks it and at most the other's answer
  // (an answer is not sent while the other's already waits)
  const int firstPasses = test.readScalar<int>("/First/passes");
  const int secondPasses = test.readScalar<int>("/Second/passes");
  test.writeScalar<double>("/length", 7.0);
  test.stepApplication();
  for(auto [path, before] : {std::pair{"/First/passes", firstPasses}, std::pair{"/Second/passes", secondPasses}}) {
    EXPECT_GE(test.readScalar<int>(path), before + 1) << path;
    EXPECT_LE(test.readScalar<int>(path), before + 2) << path;
  }
  EXPECT_DOUBLE_EQ(test.readScalar<double>("/First/used"), 1.0);
  EXPECT_DOUBLE_EQ(test.readScalar<double>("/Second/used"), 2.0);
  EXPECT_TRUE(shown() == 1.0 || shown() == 2.0) << shown();
  // once the limits allow a value, a rejected change returns to it everywhere
  test.writeScalar<double>("/First/limit", 10.0);
  test.writeScalar<double>("/Second/limit", 10.0);
  test.stepApplication();
  test.writeScalar<double>("/length", 3.0);
  test.stepApplication();
  test.writeScalar<double>("/length", 20.0);
  test.stepApplication();
  EXPECT_DOUBLE_EQ(shown(), 3.0);
  EXPECT_DOUBLE_EQ(test.readScalar<double>("/First/used"), 3.0);
  EXPECT_DOUBLE_EQ(test.readScalar<double>("/Second/used"), 3.0);
}
