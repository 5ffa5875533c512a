// Switching recording on and off while pulses come: no other module loses a value, every trigger
// of a recording is in the files, a slow file change costs no trigger, and dropped triggers are
// logged.
#include "DaqTestSupport.h"

#include <Corvane/DataLossCounter.h>
#include <Corvane/LogCapture.h>

#include <gtest/gtest.h>

using namespace Corvane;
using namespace daqtest;

namespace {

  /// The pulse source of the test: on each trigger a new trace, recorded and read by Consumer.
  struct Pulser : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<std::int64_t> trigger{this, triggerPath, "", "the pulse"};
    ArrayOutput<float> trace{this, "/Pulse/trace", "", 64, "one trace per pulse", {"DAQ"}};
    void prepare() override { trace.write(); } // the consumer's initial value: every pulse is counted
    void mainLoop() override {
      while(true) {
        trigger.read();
        for(std::size_t i = 0; i < trace.size(); ++i) trace[i] = static_cast<float>(trigger + std::int64_t(i));
        trace.write();
      }
    }
  };

  /// Counts the traces it receives through its push input.
  struct Consumer : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ArrayPushInput<float> trace{this, "/Pulse/trace", "", 64, "read on every pulse"};
    ScalarOutput<std::uint64_t> received{this, "/Consumer/received", "", "traces received"};
    void mainLoop() override {
      while(true) {
        trace.read();
        received.setAndWrite(received + 1);
      }
    }
  };

  struct SwitchApp : Application {
    SwitchApp() : Application("daqswitchtest") {
      daq = MicroDAQ<std::int64_t>(this, "MicroDAQ", "Local ringbuffer DAQ system", "DAQ", triggerPath);
    }
    Pulser pulser{this, "Pulser", ""};
    Consumer consumer{this, "Consumer", ""};
    DataLossCounter<std::int64_t> dataLoss{this, "DataLossCounter", "", triggerPath};
    MicroDAQ<std::int64_t> daq;
  };

  std::vector<std::int64_t> recordedTriggerNumbers(const fs::path& directory) {
    std::vector<std::int64_t> numbers;
    for(auto& name : TempDirectory::filesIn(directory)) {
      if(fs::path(name).extension() != ".h5") continue;
      for(auto number : DaqFile(directory / name).triggerNumbers()) numbers.push_back(number);
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
  }

} // namespace

TEST(MicroDAQSwitch, SwitchingCostsNoOtherModuleAPulseAndRecordsEveryTriggerWhileOn) {
  TempDirectory dir;
  std::vector<std::int64_t> expected;
  {
    SwitchApp app;
    TestFacility test(app);
    configure(test, dir.path(), 3, 10, false);
    test.runApplication();

    // the recorder's state at each pulse: switched on and off again, single pulses and runs
    const std::vector<bool> enabled{false, true, true, false, true, false, false, true, true, true, true, false};
    std::int64_t number = 0;
    for(bool on : enabled) {
      if(on != static_cast<bool>(test.readScalar<Boolean>("/MicroDAQ/enable"))) {
        test.writeScalar<Boolean>("/MicroDAQ/enable", on);
      }
      trigger(test, ++number);
      if(on) expected.push_back(number);
      SCOPED_TRACE("pulse " + std::to_string(number));
      EXPECT_EQ(test.readScalar<std::uint64_t>("/Consumer/received"), static_cast<std::uint64_t>(number));
      EXPECT_EQ(test.readScalar<std::uint64_t>("/DataLossCounter/triggersWithDataLoss"), 0u);
      EXPECT_EQ(app.scheduler().lostTransfers.load(), 0u);
      EXPECT_EQ(test.readScalar<std::uint64_t>("/MicroDAQ/droppedTriggers"), 0u);
    }
    EXPECT_EQ(test.readScalar<std::uint64_t>("/MicroDAQ/recordedTriggers"), expected.size());
  }
  EXPECT_EQ(recordedTriggerNumbers(dir.path()), expected);
}

TEST(MicroDAQSwitch, TheFirstFileIsReadyBeforeTheFirstTriggerAndAnUnusedOneIsNotKept) {
  TempDirectory dir;
  {
    SwitchApp app;
    TestFacility test(app);
    configure(test, dir.path(), 3, 10, false);
    test.runApplication();
    trigger(test, 1);
    EXPECT_TRUE(dir.files().empty());

    // switched on between pulses (seen at the next trigger): the file is opened before the
    // first record comes, so a writer held in the file change still has the trigger queued
    test.writeScalar<Boolean>("/MicroDAQ/enable", true);
    trigger(test, 2);
    EXPECT_EQ(dir.files(), (std::set<std::string>{"MicroDAQ_0.h5.tmp"}));
    test.writeScalar<Boolean>("/MicroDAQ/enable", false);
    trigger(test, 3);
    EXPECT_EQ(dir.files(), (std::set<std::string>{"MicroDAQ_0.h5"}));
  }
  {
    // switched on at the start and off again before any trigger: no empty file takes a place
    // of the ring (the old file of that place stays)
    SwitchApp app;
    TestFacility test(app);
    configure(test, dir.path(), 3, 1, true);
    test.runApplication();
    EXPECT_EQ(dir.files(), (std::set<std::string>{"MicroDAQ_0.h5", "MicroDAQ_0.h5.tmp"}));
    test.writeScalar<Boolean>("/MicroDAQ/enable", false);
    trigger(test, 4);
  }
  EXPECT_EQ(dir.files(), (std::set<std::string>{"MicroDAQ_0.h5"}));
  EXPECT_EQ(DaqFile(dir.path() / "MicroDAQ_0.h5").triggerNumbers(), (std::vector<std::int64_t>{2}));
}

TEST(MicroDAQSwitch, TheQueueCoversASlowFileChange) {
  struct Case {
    const char* what;
    std::size_t allowance;
    std::int64_t triggers;
    std::uint64_t dropped;
  };
  // capacity 2: while the writer is held in the file change, `allowance` more records wait
  const std::vector<Case> cases{
      {"opening takes six pulses", MicroDAQBase::defaultFileChangeAllowance, 6, 0},
      {"allowance of 3 exceeded by 2", 3, 7, 2},
  };
  for(const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDirectory dir;
    SwitchApp app;
    app.daq.setQueueCapacity(2);
    app.daq.setFileChangeAllowance(c.allowance);
    TestFacility test(app);
    configure(test, dir.path(), 100, 2, false);
    test.runApplication();

    app.daq.holdFileChanges(true);
    test.writeScalar<Boolean>("/MicroDAQ/enable", true);
    for(std::int64_t t = 1; t <= c.triggers; ++t) trigger(test, t);
    EXPECT_EQ(test.readScalar<std::uint64_t>("/MicroDAQ/droppedTriggers"), c.dropped);
    EXPECT_EQ(test.readScalar<std::uint64_t>("/MicroDAQ/recordedTriggers"), 0u);

    app.daq.holdFileChanges(false);
    test.stepApplication();
    EXPECT_EQ(test.readScalar<std::uint64_t>("/MicroDAQ/recordedTriggers"), c.triggers - c.dropped);
    EXPECT_EQ(test.readScalar<std::uint64_t>("/Consumer/received"), static_cast<std::uint64_t>(c.triggers));
    EXPECT_EQ(app.scheduler().lostTransfers.load(), 0u);
  }
}

TEST(MicroDAQSwitch, DroppedTriggersAreLoggedAtMostOncePerSecond) {
  LogCapture log("/MicroDAQ");
  TempDirectory dir;
  SwitchApp app;
  app.daq.setQueueCapacity(1);
  TestFacility test(app);
  configure(test, dir.path(), 100, 2);
  test.runApplication();

  app.daq.holdWriter(true);
  trigger(test, 1); // queued
  trigger(test, 2); // dropped: logged at once
  auto lines = log.warningsContaining("not recorded");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("1 trigger not recorded (trigger 2)"), std::string::npos) << lines[0];
  log.take();

  test.advanceTime(std::chrono::milliseconds(400));
  trigger(test, 3);
  trigger(test, 4);
  EXPECT_TRUE(log.warningsContaining("not recorded").empty());
  test.advanceTime(std::chrono::milliseconds(600));
  app.daq.holdWriter(false);
  test.stepApplication();
  trigger(test, 5); // recorded; the drops held back are reported now
  lines = log.warningsContaining("not recorded");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("2 triggers not recorded (triggers 3 to 4)"), std::string::npos) << lines[0];
  EXPECT_EQ(test.readScalar<std::uint64_t>("/MicroDAQ/droppedTriggers"), 3u);
}
