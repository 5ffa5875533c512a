// DataLossCounter: push-queue overflows of a module that does not read its input show up at the
// next trigger, per trigger and as a count of triggers with loss.
#include <Corvane/Corvane.h>
#include <Corvane/DataLossCounter.h>
#include <Corvane/LogCapture.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

using namespace Corvane;

namespace {

  /// Never reads "flood": it waits on "wake" only, so values written to "flood" pile up.
  struct Sluggard : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<std::int32_t> flood{this, "flood", "", "values nobody reads"};
    ScalarPushInput<std::int32_t> wake{this, "wake", "", "never written"};
    void mainLoop() override {
      while(true) wake.read();
    }
  };

  struct Server : ModuleGroup {
    using ModuleGroup::ModuleGroup;
    DataLossCounter<std::int64_t> dataLossCounter{
        this, "DataLossCounter", "Statistics on lost data within this llrf server", "/Server/triggerNumber"};
  };

  struct LossApp : Application {
    LossApp() : Application("dataLossTest") {}
    Server server{this, "Server", "Server information"};
    Sluggard sluggard{this, "Sluggard", ""};
  };

  const std::string lostPath = "/Server/DataLossCounter/lostDataInLastTrigger";
  const std::string triggersPath = "/Server/DataLossCounter/triggersWithDataLoss";

} // namespace

TEST(DataLossCounter, CountsOverflowsPerTrigger) {
  LossApp app;
  TestFacility test(app);
  test.runApplication();
  EXPECT_EQ(test.readScalar<std::uint64_t>(lostPath), 0u);
  EXPECT_EQ(test.readScalar<std::uint64_t>(triggersPath), 0u);
  const auto queueLength = app.queueLength();
  ASSERT_EQ(app.sluggard.flood.getNumberOfBuffers(), queueLength + 1);

  struct Pulse {
    std::size_t writes;         // values written to the input nobody reads before the trigger
    std::uint64_t lost;         // expected lostDataInLastTrigger
    std::uint64_t withLoss;     // expected triggersWithDataLoss
  };
  // the queue starts empty, so the first queueLength values still fit; after that every value
  // pushes out one queued value
  std::vector<Pulse> pulses{{queueLength, 0, 0}, {2, 2, 1}, {0, 0, 1}, {5, 5, 2}, {0, 0, 2}};
  std::int64_t triggerNumber = 0;
  for(const auto& pulse : pulses) {
    for(std::size_t i = 0; i < pulse.writes; ++i) test.writeScalar<std::int32_t>("/Sluggard/flood", int(i));
    test.writeScalar<std::int64_t>("/Server/triggerNumber", ++triggerNumber);
    test.stepApplication();
    EXPECT_EQ(test.readScalar<std::uint64_t>(lostPath), pulse.lost) << "trigger " << triggerNumber;
    EXPECT_EQ(test.readScalar<std::uint64_t>(triggersPath), pulse.withLoss) << "trigger " << triggerNumber;
  }
  EXPECT_EQ(app.scheduler().lostTransfers.load(), 7u);
}

TEST(DataLossCounter, OutputsCarryTheTriggerVersionAndAreReadOnly) {
  LossApp app;
  TestFacility test(app);
  test.runApplication();
  VersionNumber pulse;
  test.writeScalar<std::int64_t>("/Server/triggerNumber", 1, pulse);
  test.stepApplication();
  EXPECT_EQ(test.getVersion(lostPath), pulse);
  EXPECT_EQ(test.getVersion(triggersPath), pulse);
  auto& cs = app.getControlSystem();
  EXPECT_EQ(cs.variable(lostPath).type(), DataType::uint64);
  EXPECT_FALSE(cs.variable(lostPath).isWritable());
  EXPECT_FALSE(cs.variable(triggersPath).isWritable());
  // the trigger is an operator (or timing system) variable
  EXPECT_TRUE(cs.variable("/Server/triggerNumber").isWritable());
}

TEST(DataLossCounter, LogsEveryLossNamingTheQueueAtMostOncePerSecond) {
  LogCapture log("/Server/DataLossCounter");
  LossApp app;
  TestFacility test(app);
  test.runApplication();
  const auto queueLength = app.queueLength();
  std::int64_t triggerNumber = 0;
  // `writes` values into the queue nobody reads, `advance` ms later the trigger
  auto pulse = [&](std::size_t writes, int advance) {
    for(std::size_t i = 0; i < writes; ++i) test.writeScalar<std::int32_t>("/Sluggard/flood", int(i));
    test.advanceTime(std::chrono::milliseconds(advance));
    test.writeScalar<std::int64_t>("/Server/triggerNumber", ++triggerNumber);
    test.stepApplication();
  };

  pulse(queueLength, 10); // fills the queue: nothing lost, nothing logged
  EXPECT_TRUE(log.take().empty());

  pulse(2, 10); // the first loss is logged at once, as a warning naming variable and reader
  EXPECT_EQ(log.warningsContaining("lost").size(), 1u);
  auto lines = log.take();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("2 data transfers lost"), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("/Sluggard/flood (read by /Sluggard) x2"), std::string::npos) << lines[0];

  // losses within the second after a line are held back, then reported together
  pulse(3, 300);
  pulse(1, 300);
  EXPECT_TRUE(log.take().empty());
  pulse(0, 300);
  EXPECT_TRUE(log.take().empty());
  pulse(0, 200); // one second after the first line: the held-back losses follow, with no new loss
  lines = log.take();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("4 data transfers lost"), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("/Sluggard/flood (read by /Sluggard) x4"), std::string::npos) << lines[0];

  // without losses nothing more is logged
  pulse(0, 2000);
  EXPECT_TRUE(log.take().empty());
  EXPECT_EQ(test.readScalar<std::uint64_t>(triggersPath), 3u);
}
