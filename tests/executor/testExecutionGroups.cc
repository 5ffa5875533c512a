// Modules of one execution group share a worker thread as cooperative tasks: a module waiting for
// its data suspends only itself, shutdown reaches every task wherever it waits, a failing module
// ends the application naming itself, and a module that keeps its worker is named.
#include <Corvane/Corvane.h>
#include <Corvane/TestFacility.h>
#include <Corvane/detail/TaskCondition.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <string>

using namespace Corvane;
using namespace std::chrono_literals;

namespace {

  /// Doubles every value of `in` into `out`.
  struct Doubler : ApplicationModule {
    Doubler(Module* owner, const std::string& name, const std::string& in, const std::string& out)
    : ApplicationModule(owner, name, ""), input(this, in, "", ""), output(this, out, "", "") {}
    ScalarPushInput<int> input;
    ScalarOutput<int> output;
    void mainLoop() override {
      while(true) {
        output.setAndWrite(2 * input);
        input.read();
      }
    }
  };

  /// Both doublers in the group "shared"; the application has a single worker.
  struct SharedWorkerApp : Application {
    SharedWorkerApp() : Application("sharedworker") {
      setWorkerCount(1);
      board.setExecutionGroup("shared");
    }
    ModuleGroup board{this, "Board", ""};
    Doubler first{&board, "First", "/a", "/aDoubled"};
    Doubler second{&board, "Second", "/b", "/bDoubled"};
  };

  TEST(ExecutionGroups, aModuleWaitingForDataDoesNotHoldItsGroup) {
    SharedWorkerApp app;
    TestFacility test(app);
    test.runApplication();
    EXPECT_EQ(app.taskThreadCount(), detail::cooperativeTasks ? 1U : 2U);
    // "First" waits for "/a" the whole time; "Second" on the same worker keeps serving "/b"
    for(int value : {3, 5, 7}) {
      test.writeScalar<int>("/b", value);
      test.stepApplication();
      EXPECT_EQ(test.readScalar<int>("/bDoubled"), 2 * value);
    }
    test.writeScalar<int>("/a", 11);
    test.stepApplication();
    EXPECT_EQ(test.readScalar<int>("/aDoubled"), 22);
  }

  /// Counts how many main loops were left by stack unwinding.
  std::atomic<int> unwound{0};
  /// Fulfilled when the last of the waiters has entered its main loop.
  std::atomic<int> entered{0};
  std::promise<void> allEntered;
  constexpr int nWaiters = 6;
  struct CountsUnwinding {
    ~CountsUnwinding() { unwound.fetch_add(1); }
  };

  /// Waits in one of the framework's blocking calls for ever.
  struct Waiter : ApplicationModule {
    enum class How { read, readAny, sleep };
    Waiter(Module* owner, const std::string& name, How how_)
    : ApplicationModule(owner, name, ""), how(how_), input(this, "/never/" + name, "", "") {}
    How how;
    ScalarPushInput<int> input;
    void mainLoop() override {
      CountsUnwinding guard;
      if(entered.fetch_add(1) + 1 == nWaiters) allEntered.set_value();
      if(how == How::read) input.read();
      if(how == How::readAny) readAnyGroup().readAny();
      if(how == How::sleep) sleepFor(std::chrono::hours(1));
      FAIL() << getName() << " returned from its wait";
    }
  };

  struct WaitersApp : Application {
    WaitersApp() : Application("waiters") {
      setWorkerCount(2);
      left.setExecutionGroup("left");
      right.setExecutionGroup("right");
      alone.requestOwnThread();
    }
    ModuleGroup left{this, "Left", ""};
    ModuleGroup right{this, "Right", ""};
    Waiter leftRead{&left, "LeftRead", Waiter::How::read};
    Waiter leftSleep{&left, "LeftSleep", Waiter::How::sleep};
    Waiter rightAny{&right, "RightAny", Waiter::How::readAny};
    Waiter rightRead{&right, "RightRead", Waiter::How::read};
    Waiter alone{this, "Alone", Waiter::How::sleep};
    Waiter rest{this, "Rest", Waiter::How::readAny};
  };

  TEST(ExecutionGroups, shutdownEndsEveryTaskWhereverItWaits) {
    // in real time too: the sleeping tasks wait on the real clock there
    for(bool testableMode : {true, false}) {
      SCOPED_TRACE(testableMode ? "testable mode" : "real time");
      unwound = 0;
      entered = 0;
      allEntered = {};
      WaitersApp app;
      TestFacility test(app, testableMode);
      if(testableMode) test.runApplication();
      else app.run();
      ASSERT_EQ(allEntered.get_future().wait_for(30s), std::future_status::ready);
      // two workers and "Alone"
      EXPECT_EQ(app.taskThreadCount(), detail::cooperativeTasks ? 3U : 6U);
      app.shutdown();
      EXPECT_EQ(unwound.load(), nWaiters);
      EXPECT_EQ(app.exitStatus(), 0);
    }
  }

  /// Throws when "/fail" is written.
  struct Failing : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<int> fail{this, "/fail", "", ""};
    void mainLoop() override {
      fail.read();
      throw std::runtime_error("the cavity went away");
    }
  };

  struct FailingApp : Application {
    FailingApp() : Application("failing") { setExecutionGroup("all"); }
    Doubler neighbour{this, "Neighbour", "/a", "/aDoubled"};
    Failing failing{this, "Failing", ""};
  };

  TEST(ExecutionGroups, anExceptionInOneTaskEndsTheApplicationNamingTheModule) {
    unwound = 0;
    FailingApp app;
    TestFacility test(app);
    test.runApplication();
    test.writeScalar<int>("/fail", 1);
    try {
      test.stepApplication();
      FAIL() << "the failure was not reported";
    }
    catch(const runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find("/failing/Failing: the cavity went away"), std::string::npos) << e.what();
    }
    EXPECT_EQ(app.exitStatus(), 1);
    EXPECT_NE(app.failureMessage().find("/failing/Failing"), std::string::npos);
    app.shutdown(); // also ends the neighbour on the same worker
    EXPECT_EQ(app.getState(), Application::State::shutDown);
  }

  /// Keeps its worker busy, without any wait, until released.
  std::atomic<bool> released{false};
  struct Spinner : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<int> input{this, "/spinner/in", "", ""};
    void mainLoop() override {
      while(!released.load()) {
      }
      input.read();
    }
  };

  struct SpinnerApp : Application {
    SpinnerApp() : Application("spinning") {
      setWorkerCount(1);
      setYieldLimit(20ms);
    }
    Doubler victim{this, "Victim", "/a", "/aDoubled"};
    Spinner spinner{this, "Spinner", ""};
  };

  TEST(ExecutionGroups, aModuleThatNeverWaitsIsNamed) {
    if(!detail::cooperativeTasks) GTEST_SKIP() << "every task has its own thread in sanitizer builds";
    released = false;
    SpinnerApp app;
    TestFacility test(app, false);
    std::promise<std::string> reported;
    std::atomic<bool> once{false};
    app.setUnyieldingTaskObserver([&](const std::string& module) {
      if(!once.exchange(true)) reported.set_value(module);
    });
    app.run();
    auto named = reported.get_future();
    ASSERT_EQ(named.wait_for(30s), std::future_status::ready);
    EXPECT_EQ(named.get(), "/spinning/Spinner");
    released = true;
  }

  /// Two producers on one trigger, each in a group of its own; a consumer notes whose value
  /// came first.
  struct Producer : ApplicationModule {
    Producer(Module* owner, const std::string& name, int mark_)
    : ApplicationModule(owner, name, ""), mark(mark_), output(this, "/produced/" + name, "", "") {}
    int mark;
    ScalarPushInput<int> trigger{this, "/trigger", "", ""};
    ScalarOutput<int> output;
    void mainLoop() override {
      while(true) {
        trigger.read();
        output.setAndWrite(mark * 1000 + trigger);
      }
    }
  };

  struct Consumer : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<int> fromA{this, "/produced/A", "", ""};
    ScalarPushInput<int> fromB{this, "/produced/B", "", ""};
    ScalarOutput<std::string> arrivals{this, "/arrivals", "", ""};
    void mainLoop() override {
      std::string seen;
      auto group = readAnyGroup();
      while(true) {
        auto id = group.readAny();
        seen += id == fromA.getId() ? "A" : "B";
        arrivals.setAndWrite(seen);
      }
    }
  };

  struct ProducersApp : Application {
    ProducersApp() : Application("producers") {
      a.setExecutionGroup("a");
      b.setExecutionGroup("b");
      setWorkerCount(2);
    }
    Producer a{this, "A", 1};
    Producer b{this, "B", 2};
    Consumer consumer{this, "Consumer", ""};
  };

  TEST(ExecutionGroups, oneWorkerInOrderGivesTheSameIntermediateOutputsOnEveryRun) {
    if(!detail::cooperativeTasks) GTEST_SKIP() << "every task has its own thread in sanitizer builds";
    std::string expected;
    for(int run = 0; run < 20; ++run) {
      ProducersApp app;
      TestFacility test(app);
      test.runTasksInOrder();
      test.runApplication();
      for(int pulse = 1; pulse <= 5; ++pulse) {
        test.writeScalar<int>("/trigger", pulse);
        test.stepApplication();
      }
      EXPECT_EQ(app.taskThreadCount(), 1U);
      auto arrivals = test.readScalar<std::string>("/arrivals");
      // the producers run in start order on every pulse
      if(run == 0) expected = arrivals;
      EXPECT_EQ(arrivals, expected) << "run " << run;
    }
    // the first pulse is the trigger's initial value, which the producers take before their loops
    EXPECT_EQ(expected, "ABABABAB");
  }

  /// Answers every value of `in` with the next number on `out` until `last` is reached: two of them
  /// pass one value back and forth, the one that serves starting with 1.
  struct Rally : ApplicationModule {
    Rally(Module* owner, const std::string& name, const std::string& in, const std::string& out, int last_,
        bool serves_)
    : ApplicationModule(owner, name, ""), last(last_), serves(serves_), input(this, in, "", ""),
      output(this, out, "", "") {}
    int last;
    bool serves;
    ScalarPushInput<int> input;
    ScalarOutput<int> output;
    void prepare() override { output.write(); } // the other's initial value: 0
    void mainLoop() override {
      while(true) {
        if(input < last && (input > 0 || serves)) output.setAndWrite(input + 1);
        input.read();
      }
    }
  };

  constexpr int rallyLength = 20000;

  /// The two players in groups of their own on two workers: every value wakes a task on the other
  /// worker.
  struct RallyApp : Application {
    RallyApp() : Application("rally") {
      setWorkerCount(2);
      serve.setExecutionGroup("serve");
      answer.setExecutionGroup("answer");
    }
    Rally serve{this, "Serve", "/answered", "/served", rallyLength, true};
    Rally answer{this, "Answer", "/served", "/answered", rallyLength, false};
  };

  TEST(ExecutionGroups, wakeUpsAcrossWorkersAreNeverLost) {
    // a lost wake-up leaves both players waiting and the rally stops short of its end
    RallyApp app;
    TestFacility test(app);
    test.runApplication();
    test.stepApplication();
    EXPECT_EQ(app.taskThreadCount(), 2U);
    EXPECT_EQ(test.readScalar<int>("/answered"), rallyLength);
    EXPECT_EQ(test.readScalar<int>("/served"), rallyLength - 1);
  }

} // namespace
