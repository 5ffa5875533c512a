// A device-free demonstration application: push, poll, write-back, read-back, read-any and
// consistency groups, run under the test facility.
#include <Corvane/Corvane.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

using namespace Corvane;

namespace {

  /// out = 2 * in, on every input.
  struct Doubler : ApplicationModule {
    Doubler(Module* owner, const std::string& name, const std::string& input, const std::string& output)
    : ApplicationModule(owner, name, "doubles its input") {
      in = ScalarPushInput<int>(this, input, "V", "value to double");
      out = ScalarOutput<int>(this, output, "V", "doubled value");
    }
    ScalarPushInput<int> in;
    ScalarOutput<int> out;
    void mainLoop() override {
      while(true) {
        out = 2 * in;
        out.write();
        in.read();
      }
    }
  };

  /// sum = (x + y) * scale with x, y pushed and scale polled; counts its passes.
  struct Summer : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    struct Inputs : VariableGroup {
      using VariableGroup::VariableGroup;
      ScalarPushInput<int> x{this, "x", "", "first summand"};
      ScalarPushInput<int> y{this, "y", "", "second summand"};
    } inputs{this, "/Sum", "summands"};
    ScalarPollInput<int> scale{this, "/scale", "", "factor"};
    ScalarOutput<int> sum{this, "/sum", "", "scaled sum"};
    ScalarOutput<int> passes{this, "/passes", "", "passes of the loop"};
    void mainLoop() override {
      auto group = readAnyGroup();
      while(true) {
        sum = (inputs.x + inputs.y) * scale;
        passes = passes + 1;
        writeAll();
        group.readAny();
      }
    }
  };

  /// Keeps an operator setting within [0, 10], writing corrections back.
  struct Limiter : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInputWB<double> setting{this, "/setting", "mA", "operator setting"};
    ScalarOutput<double> accepted{this, "/accepted", "mA", "accepted setting"};
    void mainLoop() override {
      while(true) {
        if(setting > 10.) {
          setting = 10.;
          setting.write();
        }
        accepted.setAndWrite(setting);
        setting.read();
      }
    }
  };

  /// An output that operators may also write: the module sees their value as a read-back.
  struct Ramp : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarOutputPushRB<double> level{this, "/level", "", "level, settable"};
    ScalarPushInput<int> step{this, "/step", "", "adds one to the level"};
    ScalarOutput<double> seen{this, "/seenLevel", "", "level as the module sees it"};
    ScalarOutput<int> readBacks{this, "/readBacks", "", "number of read-backs taken"};
    void mainLoop() override {
      level.write();
      auto group = readAnyGroup();
      while(true) {
        seen.setAndWrite(level);
        auto id = group.readAny();
        if(id == level.getId()) {
          readBacks.setAndWrite(readBacks + 1);
        }
        else {
          level = level + 1;
          level.write();
        }
      }
    }
  };

  struct DemoApp : Application {
    DemoApp() : Application("demo") {}
    Doubler first{this, "First", "/in", "/Sum/x"};
    Doubler second{this, "Second", "/Sum/x", "/Sum/y"};
    Summer summer{this, "Summer", "adds"};
    Limiter limiter{this, "Limiter", "limits"};
    Ramp ramp{this, "Ramp", "ramps"};
  };

} // namespace

TEST(Pipeline, PushPollReadAnyAndInitialValues) {
  DemoApp app;
  TestFacility test(app);
  test.setScalarDefault<int>("/scale", 1);
  test.runApplication();
  // initial values: /in = 0 -> x = 0, y = 0, sum = 0
  EXPECT_EQ(test.readScalar<int>("/sum"), 0);

  test.writeScalar<int>("/in", 3);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<int>("/Sum/x"), 6);
  EXPECT_EQ(test.readScalar<int>("/Sum/y"), 12);
  // read-any takes x and y one at a time: after both the sum is complete
  EXPECT_EQ(test.readScalar<int>("/sum"), 18);

  // the poll input does not wake the module, but is up to date at the next pass
  auto passes = test.readScalar<int>("/passes");
  test.writeScalar<int>("/scale", 10);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<int>("/passes"), passes);
  test.writeScalar<int>("/in", 1);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<int>("/sum"), 60);
}

TEST(Pipeline, WriteBackReachesControlSystemAndOthers) {
  DemoApp app;
  TestFacility test(app);
  test.runApplication();
  test.writeScalar<double>("/setting", 4.5);
  test.stepApplication();
  EXPECT_DOUBLE_EQ(test.readScalar<double>("/accepted"), 4.5);
  EXPECT_DOUBLE_EQ(test.readScalar<double>("/setting"), 4.5);

  test.writeScalar<double>("/setting", 42.);
  test.stepApplication();
  EXPECT_DOUBLE_EQ(test.readScalar<double>("/accepted"), 10.);
  EXPECT_DOUBLE_EQ(test.readScalar<double>("/setting"), 10.); // corrected value written back
  EXPECT_TRUE(app.getControlSystem().variable("/setting").isWritable());
  EXPECT_FALSE(app.getControlSystem().variable("/accepted").isWritable());
  EXPECT_THROW(test.writeScalar<double>("/accepted", 1.), Corvane::logic_error);
}

TEST(Pipeline, ReadBackOfOutputs) {
  DemoApp app;
  TestFacility test(app);
  test.runApplication();
  EXPECT_DOUBLE_EQ(test.readScalar<double>("/level"), 0.);
  test.writeScalar<int>("/step", 1);
  test.stepApplication();
  EXPECT_DOUBLE_EQ(test.readScalar<double>("/level"), 1.);

  // an operator write reaches the module as a read-back and changes its own output's value
  test.writeScalar<double>("/level", 7.5);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<int>("/readBacks"), 1);
  EXPECT_DOUBLE_EQ(test.readScalar<double>("/seenLevel"), 7.5);
  test.writeScalar<int>("/step", 1);
  test.stepApplication();
  EXPECT_DOUBLE_EQ(test.readScalar<double>("/level"), 8.5);
  // the module's own writes are never echoed back to it
  EXPECT_EQ(test.readScalar<int>("/readBacks"), 1);
}

namespace {
  /// Completes a pair of inputs by version; counts completed pairs.
  struct PairWatcher : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<int> a{this, "/Pair/a", "", ""};
    ScalarPushInput<int> b{this, "/Pair/b", "", ""};
    ScalarOutput<int> complete{this, "/Pair/complete", "", ""};
    void mainLoop() override {
      DataConsistencyGroup consistency{a, b};
      auto group = readAnyGroup();
      while(true) {
        auto id = group.readAny();
        if(consistency.update(id)) complete.setAndWrite(complete + 1);
      }
    }
  };

  /// Forwards a trigger to two outputs that carry the trigger's version.
  struct Splitter : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<int> trigger{this, "/trigger", "", ""};
    ScalarOutput<int> a{this, "/Pair/a", "", ""};
    ScalarOutput<int> b{this, "/Pair/b", "", ""};
    void mainLoop() override {
      while(true) {
        a.setAndWrite(trigger);
        b.setAndWrite(trigger);
        trigger.read();
      }
    }
  };

  struct PairApp : Application {
    PairApp() : Application("pair") {}
    Splitter splitter{this, "Splitter", ""};
    PairWatcher watcher{this, "Watcher", ""};
  };
} // namespace

TEST(Pipeline, ConsistencyGroupCompletesOncePerVersion) {
  PairApp app;
  TestFacility test(app);
  test.runApplication();
  for(int i = 1; i <= 3; ++i) {
    test.writeScalar<int>("/trigger", i);
    test.stepApplication();
    EXPECT_EQ(test.readScalar<int>("/Pair/complete"), i);
  }
  EXPECT_EQ(test.getVersion("/Pair/a"), test.getVersion("/Pair/b"));
  EXPECT_EQ(test.getVersion("/Pair/a"), test.getVersion("/trigger"));
}
