// PeriodicTrigger under the virtual clock: ticks exactly at each period, period changes, the
// default period standing in for 0, clock jumps, and a new version for every tick.
#include <Corvane/Corvane.h>
#include <Corvane/LogCapture.h>
#include <Corvane/PeriodicTrigger.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <mutex>
#include <vector>

using namespace Corvane;
using std::chrono::milliseconds;

namespace {

  struct TriggerApp : Application {
    TriggerApp() : Application("triggerTest") {}
    PeriodicTrigger trigger{this, "MonitoringTrigger", "Periodic trigger for monitoring tasks", 100};
  };

  const std::string tickPath = "/MonitoringTrigger/tick";
  const std::string periodPath = "/MonitoringTrigger/period";

  struct Step {
    int advanceMs;
    std::uint64_t tick;
  };

  void expectTicks(TestFacility& test, const std::vector<Step>& steps) {
    int elapsed = 0;
    for(const auto& step : steps) {
      test.advanceTime(milliseconds(step.advanceMs));
      elapsed += step.advanceMs;
      EXPECT_EQ(test.readScalar<std::uint64_t>(tickPath), step.tick) << "after " << elapsed << " ms";
    }
  }

  using Corvane::LogCapture;

} // namespace

TEST(PeriodicTrigger, TicksExactlyAtEachPeriod) {
  TriggerApp app;
  TestFacility test(app);
  test.runApplication();
  // the initial value is there at once, so that readers need not wait a period
  EXPECT_EQ(test.readScalar<std::uint64_t>(tickPath), 0u);
  EXPECT_EQ(test.updateCount(tickPath), 1u);
  // the period nobody has set reads 0 and means the default of 100 ms
  EXPECT_EQ(test.readScalar<std::uint32_t>(periodPath), 0u);
  expectTicks(test, {{99, 0}, {1, 1}, {50, 1}, {49, 1}, {1, 2}, {100, 3}, {100, 4}});
  EXPECT_EQ(test.updateCount(tickPath), 5u);
}

TEST(PeriodicTrigger, OperatorPeriodIsUsedFromTheStart) {
  TriggerApp app;
  TestFacility test(app);
  test.setScalarDefault<std::uint32_t>(periodPath, 250);
  test.runApplication();
  expectTicks(test, {{100, 0}, {149, 0}, {1, 1}, {250, 2}});
}

TEST(PeriodicTrigger, PeriodChangeTakesEffectAtTheNextTick) {
  TriggerApp app;
  TestFacility test(app);
  test.runApplication();
  expectTicks(test, {{100, 1}, {40, 1}});

  // longer: the tick already planned (at 200 ms) stays, the one after comes 300 ms later
  test.writeScalar<std::uint32_t>(periodPath, 300);
  test.stepApplication();
  expectTicks(test, {{60, 2}, {299, 2}, {1, 3}});

  // shorter: again the planned tick first (at 800 ms), then every 20 ms
  test.writeScalar<std::uint32_t>(periodPath, 20);
  test.stepApplication();
  expectTicks(test, {{299, 3}, {1, 4}, {20, 5}, {19, 5}, {1, 6}});
}

TEST(PeriodicTrigger, PeriodZeroMeansTheDefaultAndIsReported) {
  TriggerApp app;
  TestFacility test(app);
  test.setScalarDefault<std::uint32_t>(periodPath, 10);
  test.runApplication();
  LogCapture log;
  expectTicks(test, {{10, 1}});

  test.writeScalar<std::uint32_t>(periodPath, 0);
  test.stepApplication();
  // one tick at the old schedule, then the default period; never a tick without time passing
  expectTicks(test, {{10, 2}, {0, 2}, {99, 2}, {1, 3}, {100, 4}});

  auto messages = log.messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].severity, Logger::Severity::warning);
  EXPECT_NE(messages[0].text.find("period 0 ms"), std::string::npos) << messages[0].text;
  EXPECT_NE(messages[0].text.find("100 ms"), std::string::npos) << messages[0].text;
}

TEST(PeriodicTrigger, ClockJumpGivesOneTickAndRestartsTheSchedule) {
  TriggerApp app;
  TestFacility test(app);
  test.runApplication();
  expectTicks(test, {{1050, 1}, {99, 1}, {1, 2}, {100, 3}});
  // a tick late by less than a period keeps the schedule: the next one is not delayed
  expectTicks(test, {{150, 4}, {50, 5}});
}

TEST(PeriodicTrigger, EveryTickCarriesANewVersion) {
  TriggerApp app;
  TestFacility test(app);
  test.setScalarDefault<std::uint32_t>(periodPath, 10);
  test.runApplication();
  auto previous = test.getVersion(tickPath);
  for(int i = 1; i <= 6; ++i) {
    // a period setting read by the module must not pin the ticks to the version of that setting
    if(i == 3) test.writeScalar<std::uint32_t>(periodPath, 10);
    test.advanceTime(milliseconds(10));
    ASSERT_EQ(test.readScalar<std::uint64_t>(tickPath), std::uint64_t(i));
    auto version = test.getVersion(tickPath);
    EXPECT_GT(version, previous) << "tick " << i;
    previous = version;
  }
}

TEST(PeriodicTrigger, DefaultPeriodZeroIsRejected) {
  TriggerApp app;
  try {
    PeriodicTrigger broken(&app, "Broken", "", 0);
    FAIL() << "no logic_error for a default period of 0";
  }
  catch(const Corvane::logic_error& e) {
    EXPECT_NE(std::string(e.what()).find("Broken"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("default period"), std::string::npos) << e.what();
  }
}

TEST(PeriodicTrigger, VariablesAtTheGivenNames) {
  struct App : Application {
    App() : Application("namesTest") {}
    PeriodicTrigger trigger{this, "Clock", "", 5, {"DIAG"}, "interval", "count"};
  } app;
  TestFacility test(app);
  test.runApplication();
  auto& cs = app.getControlSystem();
  ASSERT_TRUE(cs.has("/Clock/interval"));
  ASSERT_TRUE(cs.has("/Clock/count"));
  EXPECT_EQ(cs.variable("/Clock/interval").unit(), "ms");
  EXPECT_EQ(cs.variable("/Clock/interval").type(), DataType::uint32);
  EXPECT_EQ(cs.variable("/Clock/count").type(), DataType::uint64);
  EXPECT_TRUE(cs.variable("/Clock/count").tags().count("DIAG"));
  test.advanceTime(milliseconds(5));
  EXPECT_EQ(test.readScalar<std::uint64_t>("/Clock/count"), 1u);
}
