// ExactMonitor: the status table (equal, unequal, disabled), placement by paths relative to the
// owner, the status-output tag, and constants feeding the required value and the disable input.
#include <Corvane/Corvane.h>
#include <Corvane/ExactMonitor.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

using namespace Corvane;

namespace {

  // the published status values: OK 0, FAULT 1, OFF 2
  constexpr std::int32_t OK = 0, FAULT = 1, OFF = 2;

  struct Board : ModuleGroup {
    using ModuleGroup::ModuleGroup;
    ExactMonitor<std::uint32_t> monitor{this, "Status/ERROR_COUNTERS", "Status/STATUS", "Status/required",
        "Status/disable", "Monitor of attenuator error counter", {"SUMMARY"}, {"PARAMS"}};
  };

  struct MonitorApp : Application {
    MonitorApp() : Application("monitorTest") {}
    Board board{this, "AdcBoard0", "a board"};
  };

} // namespace

TEST(ExactMonitor, StatusTable) {
  MonitorApp app;
  TestFacility test(app);
  test.runApplication();
  // everything 0 at start: equal and not disabled
  EXPECT_EQ(test.readScalar<std::int32_t>("/AdcBoard0/Status/STATUS"), OK);

  struct Row {
    std::uint32_t value, required;
    bool disabled;
    std::int32_t status;
  };
  std::vector<Row> table{{0, 0, false, OK}, {1, 0, false, FAULT}, {7, 7, false, OK}, {4294967295u, 7, false, FAULT},
      {4294967295u, 4294967295u, false, OK}, {3, 0, true, OFF}, {0, 0, true, OFF}, {0, 0, false, OK}};
  for(const auto& row : table) {
    test.writeScalar<std::uint32_t>("/AdcBoard0/Status/ERROR_COUNTERS", row.value);
    test.writeScalar<std::uint32_t>("/AdcBoard0/Status/required", row.required);
    test.writeScalar<Boolean>("/AdcBoard0/Status/disable", row.disabled);
    test.stepApplication();
    EXPECT_EQ(test.readScalar<std::int32_t>("/AdcBoard0/Status/STATUS"), row.status)
        << row.value << " vs " << row.required << (row.disabled ? " disabled" : "");
  }
}

TEST(ExactMonitor, WritesOnEveryInputUpdate) {
  MonitorApp app;
  TestFacility test(app);
  test.runApplication();
  auto before = test.updateCount("/AdcBoard0/Status/STATUS");
  for(int i = 0; i < 3; ++i) test.writeScalar<std::uint32_t>("/AdcBoard0/Status/ERROR_COUNTERS", 0);
  test.stepApplication();
  EXPECT_EQ(test.updateCount("/AdcBoard0/Status/STATUS"), before + 3);
}

TEST(ExactMonitor, VariablesAndTags) {
  MonitorApp app;
  TestFacility test(app);
  test.runApplication();
  auto& cs = app.getControlSystem();
  auto& status = cs.variable("/AdcBoard0/Status/STATUS");
  EXPECT_EQ(status.type(), DataType::int32);
  EXPECT_EQ(status.description(), "Monitor of attenuator error counter");
  EXPECT_TRUE(status.tags().count("_Corvane_StatusOutput_statusOutput"));
  EXPECT_TRUE(status.tags().count("SUMMARY"));
  EXPECT_EQ(cs.variable("/AdcBoard0/Status/ERROR_COUNTERS").description(), "Value to monitor");
  EXPECT_EQ(cs.variable("/AdcBoard0/Status/required").description(), "Value to compare with");
  EXPECT_TRUE(cs.variable("/AdcBoard0/Status/required").tags().count("PARAMS"));
  EXPECT_TRUE(cs.variable("/AdcBoard0/Status/disable").tags().count("PARAMS"));
  EXPECT_FALSE(cs.variable("/AdcBoard0/Status/ERROR_COUNTERS").tags().count("PARAMS"));
  EXPECT_EQ(cs.variable("/AdcBoard0/Status/disable").type(), DataType::boolean);
}

TEST(ExactMonitor, FaultyInputMakesTheStatusFaulty) {
  MonitorApp app;
  TestFacility test(app);
  test.runApplication();
  test.variable("/AdcBoard0/Status/ERROR_COUNTERS").set(std::vector<std::uint32_t>{0}, {}, DataValidity::faulty);
  test.stepApplication();
  EXPECT_EQ(test.getValidity("/AdcBoard0/Status/STATUS"), DataValidity::faulty);
  test.writeScalar<std::uint32_t>("/AdcBoard0/Status/ERROR_COUNTERS", 0);
  test.stepApplication();
  EXPECT_EQ(test.getValidity("/AdcBoard0/Status/STATUS"), DataValidity::ok);
}

namespace {

  /// The board monitors as the station builds them: required value and disable flag are constants.
  struct ConstantBoard : ModuleGroup {
    using ModuleGroup::ModuleGroup;
    ExactMonitor<Boolean> clockMonitor{this, "Configuration/fpgaClockError", "Configuration/fpgaClockStatus",
        constant(0), constant(0), "Monitor of FPGA clock"};
    ExactMonitor<std::uint32_t> attenuatorMonitor{this, "Status/AttenuatorStatus/ERROR_COUNTERS",
        "Status/AttenuatorStatus/STATUS", constant(0), constant(false), "Monitor of attenuator error counter"};
    ExactMonitor<std::int32_t> switchedOff{this, "mode", "modeStatus", constant(3), constant(5), "always off"};
  };

  struct ConstantApp : Application {
    ConstantApp() : Application("constantMonitorTest") {}
    ConstantBoard board{this, "AdcBoard1", ""};
  };

} // namespace

TEST(ExactMonitor, ConstantsFeedRequiredValueAndDisableInput) {
  ConstantApp app;
  TestFacility test(app);
  test.runApplication();
  const std::string clockError = "/AdcBoard1/Configuration/fpgaClockError";
  const std::string clockStatus = "/AdcBoard1/Configuration/fpgaClockStatus";
  const std::string counters = "/AdcBoard1/Status/AttenuatorStatus/ERROR_COUNTERS";
  const std::string attenuatorStatus = "/AdcBoard1/Status/AttenuatorStatus/STATUS";
  EXPECT_EQ(test.readScalar<std::int32_t>(clockStatus), OK);
  EXPECT_EQ(test.readScalar<std::int32_t>(attenuatorStatus), OK);
  // a non-zero constant on the disable input switches the monitor off for good
  EXPECT_EQ(test.readScalar<std::int32_t>("/AdcBoard1/modeStatus"), OFF);

  struct Row {
    bool clock;
    std::uint32_t counter;
    std::int32_t clockStatus, attenuatorStatus;
  };
  for(const auto& row : std::vector<Row>{{true, 0, FAULT, OK}, {true, 12, FAULT, FAULT}, {false, 12, OK, FAULT},
          {false, 0, OK, OK}}) {
    test.writeScalar<Boolean>(clockError, row.clock);
    test.writeScalar<std::uint32_t>(counters, row.counter);
    test.stepApplication();
    EXPECT_EQ(test.readScalar<std::int32_t>(clockStatus), row.clockStatus) << row.clock;
    EXPECT_EQ(test.readScalar<std::int32_t>(attenuatorStatus), row.attenuatorStatus) << row.counter;
  }
  test.writeScalar<std::int32_t>("/AdcBoard1/mode", 3);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<std::int32_t>("/AdcBoard1/modeStatus"), OFF);

  // constants cannot be changed at run time
  auto& cs = app.getControlSystem();
  auto zero = EntityOwner::constant(0);
  ASSERT_TRUE(cs.has(zero));
  EXPECT_FALSE(cs.variable(zero).isWritable());
  EXPECT_THROW(test.writeScalar<std::int32_t>(zero, 1), Corvane::logic_error);
  EXPECT_FALSE(cs.variable(EntityOwner::constant(false)).isWritable());
}

TEST(ExactMonitor, ConstantPathsPerTypeAndValue) {
  // one path per type and value, so that equal constants share a variable and different ones do not
  EXPECT_EQ(EntityOwner::constant(0), EntityOwner::constant(std::int32_t{0}));
  EXPECT_NE(EntityOwner::constant(0), EntityOwner::constant(false));
  EXPECT_NE(EntityOwner::constant(0), EntityOwner::constant(0u));
  EXPECT_NE(EntityOwner::constant(0.5), EntityOwner::constant(0.25));
  EXPECT_EQ(EntityOwner::constant("text"), EntityOwner::constant(std::string("text")));
}
