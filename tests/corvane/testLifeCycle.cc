// Transport and life cycle: queue overflow, validity and version propagation, initial values,
// failing and ending modules, shutdown, the virtual clock.
#include <Corvane/Corvane.h>
#include <Corvane/TestFacility.h>
#include <Corvane/detail/Scheduler.h>
#include <gtest/gtest.h>

using namespace Corvane;

namespace {

  /// Reads its input only when told to, so that a test can fill its queue.
  struct SlowReader : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<int> data{this, "/data", "", ""};
    ScalarPushInput<int> go{this, "/go", "", ""};
    ScalarOutput<int> taken{this, "/taken", "", ""};
    ScalarOutput<int> buffers{this, "/buffers", "", ""};
    void mainLoop() override {
      buffers.setAndWrite(int(data.getNumberOfBuffers()));
      while(true) {
        go.read();
        while(data.readNonBlocking()) taken.setAndWrite(data);
      }
    }
  };

  struct Feeder : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<int> count{this, "/count", "", ""};
    ScalarOutput<int> data{this, "/data", "", ""};
    void mainLoop() override {
      data.write(); // initial value
      while(true) {
        count.read();
        for(int i = 1; i <= count; ++i) data.setAndWrite(i);
      }
    }
  };

  struct QueueApp : Application {
    QueueApp() : Application("queue") {}
    Feeder feeder{this, "Feeder", ""};
    SlowReader reader{this, "Reader", ""};
  };

} // namespace

TEST(Transport, FullQueueKeepsNewestAndCountsLoss) {
  QueueApp app;
  TestFacility test(app);
  test.runApplication();
  EXPECT_EQ(test.readScalar<int>("/buffers"), 4); // queue length 3 plus the reader's buffer
  test.writeScalar<int>("/count", 5);
  test.stepApplication();
  EXPECT_EQ(app.scheduler().lostTransfers.load(), 2u);
  test.writeScalar<int>("/go", 1);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<int>("/taken"), 5); // the newest value always arrives
}

namespace {
  /// Marks its output faulty while "/hold" is set; passes input validity on.
  struct Validity : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<int> in{this, "/vin", "", ""};
    ScalarPushInput<int> hold{this, "/hold", "", ""};
    ScalarOutput<int> out{this, "/vout", "", ""};
    ScalarOutput<int> moduleValid{this, "/moduleValid", "", ""};
    void mainLoop() override {
      bool holding = false;
      auto group = readAnyGroup();
      while(true) {
        if(hold && !holding) incrementDataFaultCounter();
        if(!hold && holding) decrementDataFaultCounter();
        holding = hold;
        out.setAndWrite(in * 10);
        moduleValid.setAndWrite(getDataValidity() == DataValidity::ok);
        group.readAny();
      }
    }
  };
  struct ValidityApp : Application {
    ValidityApp() : Application("validity") {}
    Validity module{this, "Validity", ""};
  };
} // namespace

TEST(Transport, ValidityFollowsInputsAndFaultCounter) {
  ValidityApp app;
  TestFacility test(app);
  test.runApplication();
  EXPECT_EQ(test.getValidity("/vout"), DataValidity::ok);

  app.getControlSystem().variable("/vin").set(std::vector<int>{1}, VersionNumber{}, DataValidity::faulty);
  test.stepApplication();
  EXPECT_EQ(test.getValidity("/vout"), DataValidity::faulty);
  EXPECT_EQ(test.readScalar<int>("/moduleValid"), 0);
  test.writeScalar<int>("/vin", 2);
  test.stepApplication();
  EXPECT_EQ(test.getValidity("/vout"), DataValidity::ok);

  test.writeScalar<int>("/hold", 1);
  test.stepApplication();
  EXPECT_EQ(test.getValidity("/vout"), DataValidity::faulty);
  test.writeScalar<int>("/hold", 0);
  test.stepApplication();
  EXPECT_EQ(test.getValidity("/vout"), DataValidity::ok);
  EXPECT_EQ(test.readScalar<int>("/vout"), 20);
}

TEST(Transport, VersionsFollowTheInputAndIncrease) {
  ValidityApp app;
  TestFacility test(app);
  test.runApplication();
  VersionNumber written;
  test.writeScalar<int>("/vin", 3, written);
  test.stepApplication();
  EXPECT_EQ(test.getVersion("/vout"), written);
  VersionNumber later;
  EXPECT_GT(later, written);
  EXPECT_TRUE(VersionNumber(nullptr).isNull());
  EXPECT_LT(VersionNumber(nullptr), written);
}

namespace {
  struct Failing : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<int> trigger{this, "/fail", "", ""};
    void mainLoop() override {
      trigger.read();
      throw std::runtime_error("broken on purpose");
    }
  };
  struct Quitter : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarOutput<int> neverWritten{this, "/neverWritten", "", ""};
    void mainLoop() override {} // ends at once, writing nothing
  };
  struct Waiter : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<int> fromQuitter{this, "/neverWritten", "", ""};
    ScalarOutput<int> started{this, "/waiterStarted", "", ""};
    ScalarPushInput<int> tick{this, "/tick", "", ""};
    ScalarOutput<int> slept{this, "/slept", "", ""};
    void mainLoop() override {
      started.setAndWrite(1);
      while(true) {
        tick.read();
        sleepFor(std::chrono::milliseconds(100));
        slept.setAndWrite(slept + 1);
      }
    }
  };
  struct LifeApp : Application {
    LifeApp() : Application("life") {}
    Failing failing{this, "Failing", ""};
    Quitter quitter{this, "Quitter", ""};
    Waiter waiter{this, "Waiter", ""};
  };
} // namespace

TEST(LifeCycle, EndedModuleDeliversOutputsAndOthersKeepRunning) {
  LifeApp app;
  TestFacility test(app);
  test.runApplication();
  // the quitter ended; its never-written output still gave the waiter an initial value
  EXPECT_EQ(test.readScalar<int>("/waiterStarted"), 1);
  test.writeScalar<int>("/tick", 1);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<int>("/slept"), 0); // sleeping on the stopped clock
  test.advanceTime(std::chrono::milliseconds(99));
  EXPECT_EQ(test.readScalar<int>("/slept"), 0);
  test.advanceTime(std::chrono::milliseconds(1));
  EXPECT_EQ(test.readScalar<int>("/slept"), 1);
}

TEST(LifeCycle, ExceptionInMainLoopFailsTheApplicationNamingTheModule) {
  LifeApp app;
  TestFacility test(app);
  test.runApplication();
  test.writeScalar<int>("/fail", 1);
  try {
    test.stepApplication();
    FAIL() << "no failure reported";
  }
  catch(Corvane::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("/life/Failing"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("broken on purpose"), std::string::npos) << e.what();
  }
  EXPECT_EQ(app.exitStatus(), 1);
  app.shutdown(); // every other thread was interrupted and joins
  EXPECT_EQ(app.getState(), Application::State::shutDown);
}

TEST(LifeCycle, StatesAndShutdownWithoutRun) {
  {
    LifeApp app;
    EXPECT_EQ(app.getState(), Application::State::constructed);
    app.shutdown();
    app.shutdown(); // idempotent
    EXPECT_THROW(app.run(), Corvane::logic_error);
  }
  LifeApp app;
  EXPECT_EQ(&Application::getInstance(), &app);
  EXPECT_THROW(LifeApp(), Corvane::logic_error); // only one application at a time
  app.initialise();
  EXPECT_THROW(app.initialise(), Corvane::logic_error);
}

TEST(LifeCycle, ShutdownInterruptsBlockingReadsInRealTime) {
  LifeApp app;
  app.run(); // real clock, no test facility: threads block on their inputs
  app.getControlSystem().variable("/tick").set(std::vector<int>{1});
  app.shutdown(); // interrupts the read and the 100 ms sleep
  EXPECT_EQ(app.getState(), Application::State::shutDown);
}

namespace {
  /// Writes its output for the first time only when asked.
  struct LateWriter : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<int> go{this, "/go", "", ""};
    ScalarOutput<int> late{this, "/late", "", ""};
    void mainLoop() override {
      while(true) {
        go.read();
        late.setAndWrite(go);
      }
    }
  };
  struct Impatient : ApplicationModule {
    Impatient(Module* owner, const std::string& name) : ApplicationModule(owner, name, "") {
      late.startWithoutInitialValue();
    }
    ScalarPushInput<int> late{this, "/late", "", ""};
    ScalarOutput<int> seen{this, "/seen", "", ""};
    void mainLoop() override {
      seen.setAndWrite(-1); // started without waiting
      while(true) {
        late.read();
        seen.setAndWrite(late);
      }
    }
  };
  struct LateApp : Application {
    LateApp() : Application("late") {}
    LateWriter writer{this, "Writer", ""};
    Impatient impatient{this, "Impatient"};
  };
} // namespace

TEST(LifeCycle, InputWithoutInitialValueDoesNotDelayTheStart) {
  LateApp app;
  TestFacility test(app);
  test.runApplication();
  EXPECT_EQ(test.readScalar<int>("/seen"), -1);
  test.writeScalar<int>("/go", 7);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<int>("/seen"), 7); // the first value arrives like any other
}
