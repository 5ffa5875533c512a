// The trigger-interval monitor under the virtual clock: intervals, FAULT on a tick after a gap
// longer than the limit, OK with the next trigger, status writes only on changes of value or
// validity, limits of 0, negative and beyond the 32-bit millisecond range, and the monitor
// driven by the real periodic trigger.
#include "SamplingTestSupport.h"
#include "TriggerIntervalMonitor.h"

#include <Corvane/Corvane.h>
#include <Corvane/PeriodicTrigger.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>

using namespace Corvane;
using sampling::TempConfig;
using std::chrono::microseconds;
using std::chrono::milliseconds;

namespace {

  const std::string triggerPath = "/Server/triggerNumber";
  const std::string tickPath = "/MonitoringTrigger/tick";
  const std::string intervalPath = "/TriggerIntervalMonitor/triggerInterval";
  const std::string statusPath = "/TriggerIntervalMonitor/triggerStatus";

  sampling::Keys keys(std::int32_t limitSeconds) {
    return {{"Configuration/maximumTriggerInterval", {"int32", std::to_string(limitSeconds)}}};
  }

  /// The monitor alone: the test writes triggers and ticks itself.
  struct MonitorApp : Application {
    explicit MonitorApp(const std::string& configFile) : Application("triggerMonitor"), config(this, ".", configFile) {}
    ConfigReader config;
    TriggerIntervalMonitor monitor{this, "TriggerIntervalMonitor", "Monitoring of trigger interval"};
  };

  /// The monitor with the application's 1000 ms monitoring tick.
  struct TickedApp : MonitorApp {
    using MonitorApp::MonitorApp;
    PeriodicTrigger monitoringTrigger{
        this, "MonitoringTrigger", "Periodic trigger for monitoring tasks", 1000, {}, "period", "tick"};
  };

  enum class Kind { trigger, tick };

  struct Event {
    std::int64_t atUs; // time since start, microseconds
    Kind kind;
    std::int32_t status;          // after the event
    std::optional<double> interval{}; // after the event, when the event writes one
  };

  struct IntervalCase {
    std::string name;
    std::int32_t limitSeconds;
    std::vector<Event> events;
    std::uint64_t statusWrites;   // in total, the initial FAULT included
    std::uint64_t intervalWrites; // in total
  };

  constexpr std::int64_t ms = 1000;
  constexpr std::int64_t s = 1000 * ms;
  constexpr Kind T = Kind::trigger;
  constexpr Kind K = Kind::tick;

  void play(TestFacility& test, const IntervalCase& c) {
    std::int64_t now = 0;
    std::int64_t triggers = 0, ticks = 0;
    for(auto& e : c.events) {
      test.advanceTime(microseconds(e.atUs - now));
      now = e.atUs;
      if(e.kind == T) test.writeScalar<std::int64_t>(triggerPath, ++triggers);
      else test.writeScalar<std::uint64_t>(tickPath, ++ticks);
      test.stepApplication();
      std::string where = c.name + ", " + (e.kind == T ? "trigger" : "tick") + " at " + std::to_string(e.atUs) + " us";
      EXPECT_EQ(test.readScalar<std::int32_t>(statusPath), e.status) << where;
      if(e.interval) {
        EXPECT_DOUBLE_EQ(test.readScalar<double>(intervalPath), *e.interval) << where;
      }
    }
  }

} // namespace

TEST(TriggerIntervalMonitor, StatusAndInterval) {
  std::vector<Event> steady;
  for(std::int64_t t = 100 * ms; t <= 3 * s; t += 100 * ms) {
    steady.push_back({t, T, 0, 100.});
    if(t % s == 0) steady.push_back({t + 1, K, 0});
  }
  std::vector<IntervalCase> cases{
      {"no trigger at all", 1, {{1 * s, K, 1}, {5 * s, K, 1}, {60 * s, K, 1}}, 1, 0},
      {"first trigger counts from the start", 1, {{250 * ms, T, 0, 250.}}, 2, 1},
      {"steady triggers", 1, steady, 2, 30},
      {"gap", 1,
          {{100 * ms, T, 0, 100.}, {1 * s, K, 0}, {2 * s, K, 1}, {3 * s, K, 1}, {3500 * ms, T, 0, 3400.},
              {4 * s, K, 0}},
          4, 2},
      {"exactly the limit is no fault", 1, {{0, T, 0, 0.}, {1 * s, K, 0}, {1 * s + 999, K, 0}, {1001 * ms, K, 1}}, 3,
          1},
      {"interval with a fraction of a millisecond", 2, {{1234567, T, 0, 1234.567}, {3234567 + 999, K, 0}}, 2, 1},
      {"limit 0", 0,
          {{10 * ms, T, 0, 10.}, {10 * ms, K, 0}, {11 * ms - 1, K, 0}, {11 * ms, K, 1}, {13 * ms, T, 0, 3.},
              {13 * ms, K, 0}},
          4, 2},
      {"negative limit", -1, {{10 * ms, T, 0, 10.}, {10 * ms, K, 1}, {20 * ms, T, 0, 10.}, {20 * ms, K, 1}}, 5, 2},
      {"ticks stop while triggers continue", 1, {{100 * ms, T, 0, 100.}, {5100 * ms, T, 0, 5000.}}, 2, 2},
      // limits whose milliseconds do not fit 32 bits
      {"limit of 3000000 s", 3000000,
          {{1 * ms, T, 0, 1.}, {3600 * s, K, 0}, {3000000 * s + 1 * ms, K, 0}, {3000000 * s + 2 * ms, K, 1}}, 3, 1},
      {"limit of -3000000 s", -3000000, {{1 * ms, T, 0, 1.}, {2 * ms, K, 1}}, 3, 1},
  };
  for(auto& c : cases) {
    TempConfig config(keys(c.limitSeconds));
    MonitorApp app(config.file());
    TestFacility test(app);
    test.runApplication();
    EXPECT_EQ(test.readScalar<std::int32_t>(statusPath), 1) << c.name << ": FAULT until the first trigger";
    play(test, c);
    EXPECT_EQ(test.updateCount(statusPath), c.statusWrites) << c.name;
    EXPECT_EQ(test.updateCount(intervalPath), c.intervalWrites) << c.name;
  }
}

TEST(TriggerIntervalMonitor, StatusIsRewrittenWhenTheValidityChanges) {
  TempConfig config(keys(1));
  MonitorApp app(config.file());
  TestFacility test(app);
  test.runApplication();
  struct Step {
    DataValidity trigger;
    std::uint64_t statusWrites;
    DataValidity status;
  };
  std::int64_t n = 0;
  for(auto& step : {Step{DataValidity::ok, 2, DataValidity::ok}, Step{DataValidity::faulty, 3, DataValidity::faulty},
          Step{DataValidity::faulty, 3, DataValidity::faulty}, Step{DataValidity::ok, 4, DataValidity::ok},
          Step{DataValidity::ok, 4, DataValidity::ok}}) {
    test.advanceTime(milliseconds(100));
    test.variable(triggerPath).set(std::vector<std::int64_t>{++n}, VersionNumber{}, step.trigger);
    test.stepApplication();
    EXPECT_EQ(test.readScalar<std::int32_t>(statusPath), 0) << "trigger " << n;
    EXPECT_EQ(test.updateCount(statusPath), step.statusWrites) << "trigger " << n;
    EXPECT_EQ(test.getValidity(statusPath), step.status) << "trigger " << n;
  }
}

TEST(TriggerIntervalMonitor, DrivenByThePeriodicTrigger) {
  TempConfig config(keys(1));
  TickedApp app(config.file());
  TestFacility test(app);
  test.runApplication();
  test.advanceTime(milliseconds(100));
  test.writeScalar<std::int64_t>(triggerPath, 1);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<std::int32_t>(statusPath), 0);
  // the clock moves to each tick in turn: ticks at 1000 ms (900 ms after the trigger), 2000 ms, ...
  test.advanceTime(milliseconds(900));
  EXPECT_EQ(test.readScalar<std::int32_t>(statusPath), 0);
  test.advanceTime(milliseconds(999));
  EXPECT_EQ(test.readScalar<std::int32_t>(statusPath), 0);
  test.advanceTime(milliseconds(1));
  EXPECT_EQ(test.readScalar<std::int32_t>(statusPath), 1);
  test.advanceTime(milliseconds(1000));
  test.advanceTime(milliseconds(1000));
  EXPECT_EQ(test.readScalar<std::uint64_t>(tickPath), 4u);
  EXPECT_EQ(test.updateCount(statusPath), 3u);
  test.writeScalar<std::int64_t>(triggerPath, 2);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<std::int32_t>(statusPath), 0);
  EXPECT_DOUBLE_EQ(test.readScalar<double>(intervalPath), 3900.);
}

TEST(TriggerIntervalMonitor, VariableLayout) {
  TempConfig config(keys(1));
  MonitorApp app(config.file());
  TestFacility test(app);
  test.runApplication();
  EXPECT_EQ(test.variable(intervalPath).unit(), "ms");
  EXPECT_EQ(test.variable(intervalPath).description(), "Interval between the last two received triggers");
  EXPECT_EQ(test.variable(statusPath).tags(), std::unordered_set<std::string>{"_Corvane_StatusOutput_statusOutput"});
  EXPECT_EQ(test.variable(statusPath).unit(), "");
  EXPECT_EQ(test.variable(triggerPath).description(), "Macro pulse trrigger number");
  EXPECT_EQ(test.variable(tickPath).description(), "Periodic trigger for supervision of trigger interval");
}

TEST(TriggerIntervalMonitor, LimitIsRequired) {
  TempConfig config({});
  EXPECT_THROW(MonitorApp app(config.file()), Corvane::logic_error);
}
