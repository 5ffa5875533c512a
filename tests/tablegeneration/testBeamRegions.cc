// Per-bunch set-points in the table generation: the checks of the tables and
// their warnings, per-bunch mode switched on only near the scalar set-point,
// the regions and slew flags of a pattern, too many beam regions, the operational
// limit against the tables in force, the unchanged pattern, and the view the
// flat-top computations read.
#include "PerBunchStation.h"
#include "EdgeValues.h"

#include <Corvane/StatusOutput.h>

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace {

  using testvalues::nan;
  using testvalues::inf;

  using namespace tablegenerationtest;
  namespace pb = tablegenerationtest::perbunch;
  using Corvane::StatusOutput;

  /// One beam region over bunches 1 to 3 at 0.5 G.U. and 10 degrees.
  const BunchTables oneRegion =
      bunches({nan, 0.5, 0.5, 0.5, nan, nan, nan, nan}, {nan, 10, 10, 10, nan, nan, nan, nan});

  /// A station whose per-bunch mode is on with `tables`.
  void switchOn(PerBunchStation& station, const BunchTables& tables = oneRegion) {
    station.run();
    station.write(tables);
    station.setEnable(true);
    ASSERT_TRUE(station.enableActual());
    ASSERT_EQ(station.status(), StatusOutput::OK);
  }

  TEST(BeamRegions, PerBunchModeStaysOffAtStartEvenWhenEnabled) {
    PerBunchStation station;
    station.test.setArrayDefault<double>(pb::amplitude, oneRegion.amplitude);
    station.test.setArrayDefault<double>(pb::phase, oneRegion.phase);
    station.test.setArrayDefault<Corvane::Boolean>(pb::flags, oneRegion.flags);
    station.test.setScalarDefault<Corvane::Boolean>(pb::enable, true);
    station.test.setScalarDefault<double>(pb::spPhase, 10.0);
    station.test.setScalarDefault<double>(pb::spPower, 0.125);
    station.run();
    EXPECT_FALSE(station.enableActual());
    EXPECT_EQ(station.status(), StatusOutput::OFF);
    EXPECT_EQ(station.message(), "");
    EXPECT_EQ(station.test.readScalar<std::uint32_t>(pb::nTransitionRegions), 0u);
    // the first change that can affect the tables checks them; the scalar
    // set-point already shows the first bunch, so only the mode changes, and
    // that alone regenerates the tables
    const auto before = station.module().regenerationCount();
    station.setEnable(true);
    EXPECT_TRUE(station.enableActual());
    EXPECT_EQ(station.module().regenerationCount(), before + 1);
    EXPECT_EQ(station.status(), StatusOutput::OK);
    EXPECT_TRUE(sameTable(station.amplitudeActual(), oneRegion.amplitude));
  }

  TEST(BeamRegions, RefusedTablesReportWhyAndKeepTheActualTables) {
    struct Case {
      std::string what;
      BunchTables tables;
      std::string message;
    };
    const std::vector<double> phases{0, 0, 0, 0, 0, 0, 0, 0};
    BunchTables beamNaN = bunches({0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5}, phases);
    beamNaN.phase[2] = nan;
    BunchTables transitionNumber = oneRegion;
    transitionNumber.amplitude[0] = 0.5;
    const std::string inconsistent = "Per-bunch setpoint tables inconsistent";
    const Case cases[] = {
        {"only transitions", bunches({nan, nan, nan, nan, nan, nan, nan, nan}, std::vector<double>(8, nan)),
            "At least one beam region required."},
        {"above the limit", bunches({0.5, 1.5, nan, nan, nan, nan, nan, nan}, {0, 0, nan, nan, nan, nan, nan, nan}),
            "Per-bunch amplitude 1.500000 out of range [0 ... 1.200000]"},
        {"negative", bunches({0.5, -0.25, nan, nan, nan, nan, nan, nan}, {0, 0, nan, nan, nan, nan, nan, nan}),
            "Per-bunch amplitude -0.250000 out of range [0 ... 1.200000]"},
        {"beam bunch without a phase", beamNaN, inconsistent},
        {"transition bunch with an amplitude", transitionNumber, inconsistent},
        {"infinite phase", bunches({0.5, 0.5, nan, nan, nan, nan, nan, nan}, {0, inf, nan, nan, nan, nan, nan, nan}),
            "Per-bunch setpoint of bunch 1 not finite (amplitude 0.500000, phase inf)"},
        {"step beyond the slew radius",
            bunches({0.1, 1.15, nan, nan, nan, nan, nan, nan}, {0, 0, nan, nan, nan, nan, nan, nan}),
            "Per-bunch setpoint tables violate maximum slew rate."},
    };
    PerBunchStation station;
    switchOn(station);
    for(const auto& c : cases) {
      SCOPED_TRACE(c.what);
      station.write(c.tables);
      EXPECT_EQ(station.status(), StatusOutput::WARNING);
      EXPECT_EQ(station.message(), c.message);
      // the accepted tables stay in force
      EXPECT_TRUE(station.enableActual());
      EXPECT_TRUE(sameTable(station.amplitudeActual(), oneRegion.amplitude));
      EXPECT_TRUE(sameTable(station.test.readArray<double>(pb::phaseActual), oneRegion.phase));
      station.write(oneRegion);
      EXPECT_EQ(station.status(), StatusOutput::OK);
    }
  }

  TEST(BeamRegions, PerBunchModeStartsOnlyNearTheScalarSetPoint) {
    PerBunchStation station;
    station.test.setScalarDefault<double>("/Controller/SetPoint/amplitudeSlope", 0.01);
    station.test.setScalarDefault<double>("/Controller/SetPoint/phaseSlope", 4.0);
    station.test.setScalarDefault<double>("/Controller/SetPoint/phaseFillingDelta", 3.0);
    station.run();
    const auto tables = bunches({nan, 0.7, 0.7, nan, nan, nan, nan, nan}, {nan, 20, 20, nan, nan, nan, nan, nan});
    station.write(tables);
    // accepted while switched off, without a warning
    EXPECT_EQ(station.status(), StatusOutput::OFF);
    EXPECT_TRUE(sameTable(station.amplitudeActual(), tables.amplitude));
    station.setEnable(true);
    EXPECT_FALSE(station.enableActual());
    EXPECT_EQ(station.status(), StatusOutput::WARNING);
    EXPECT_EQ(station.message(), "Table mode not enabled due to setpoint mismatch with scalar mode.");
    // within deltaScalarSP (0.1) of the first bunch
    station.test.writeScalar<double>(pb::spAmplitude, 0.65);
    station.test.stepApplication();
    EXPECT_FALSE(station.enableActual()); // the scalar set-point does not start a check
    const auto before = station.module().regenerationCount();
    station.setEnable(true);
    EXPECT_TRUE(station.enableActual());
    EXPECT_EQ(station.status(), StatusOutput::OK);
    EXPECT_EQ(station.module().regenerationCount(), before + 1);
    // the scalar set-point shows the first bunch, without slopes
    EXPECT_EQ(station.test.readScalar<double>(pb::spAmplitude), 0.7);
    EXPECT_EQ(station.test.readScalar<double>(pb::spPhase), 20.0);
    EXPECT_DOUBLE_EQ(station.test.readScalar<double>(pb::spPower), 0.7 * 0.7 / 2.0);
    for(const std::string name : {"amplitudeSlope", "phaseSlope", "phaseFillingDelta"}) {
      EXPECT_EQ(station.test.readScalar<double>("/Controller/SetPoint/" + name), 0.0) << name;
    }
    // a refused table only warns
    station.write(bunches({nan, 0.7, 1.9, nan, nan, nan, nan, nan}, {nan, 20, 20, nan, nan, nan, nan, nan}));
    EXPECT_EQ(station.status(), StatusOutput::WARNING);
    EXPECT_TRUE(station.enableActual());
    station.setEnable(false);
    EXPECT_FALSE(station.enableActual());
    EXPECT_EQ(station.status(), StatusOutput::OFF);
    EXPECT_EQ(station.message(), "");
    // switched off, valid tables still become the actual ones
    station.write(oneRegion);
    EXPECT_EQ(station.status(), StatusOutput::OFF);
    EXPECT_TRUE(sameTable(station.amplitudeActual(), oneRegion.amplitude));
  }

  TEST(BeamRegions, RegionsAndSlewFlagsOfAPattern) {
    constexpr std::uint32_t all = 0xFFFFFFFFu;
    PerBunchStation station;
    station.test.setScalarDefault<double>(pb::radius, 0.25);
    station.run();
    const std::vector<double> phases{0, 0, nan, nan, 30, 30, nan, 30};
    // beam regions 0-1, 4-5 and 7; the transition from bunch 5 to 7 offers 1 us for 0.4 G.U.
    station.write(bunches({0.3, 0.3, nan, nan, 0.6, 0.7, nan, 1.1}, phases));
    using Flags = std::vector<Corvane::Boolean>;
    EXPECT_EQ(station.test.readArray<Corvane::Boolean>(pb::bunchOk),
        (Flags{true, true, true, true, true, true, false, true}));
    EXPECT_EQ(station.test.readScalar<std::uint32_t>(pb::transitionOk), all & ~(1u << 2));
    auto minTime = station.test.readArray<double>(pb::transitionMinTime);
    ASSERT_EQ(minTime.size(), 5u);
    EXPECT_NEAR(minTime[1], neededTime(0.3, 0, 0.6, 30, 0.25), 1e-12);
    EXPECT_NEAR(minTime[2], neededTime(0.7, 30, 1.1, 30, 0.25), 1e-12);
    EXPECT_EQ(station.test.readScalar<std::uint32_t>(pb::nBeamRegions), 0u); // refused
    // 0.2 G.U. fits in the microsecond
    const auto tables = bunches({0.3, 0.3, nan, nan, 0.6, 0.7, nan, 0.9}, phases);
    station.write(tables);
    EXPECT_EQ(station.test.readArray<Corvane::Boolean>(pb::bunchOk), Flags(8, true));
    EXPECT_EQ(station.test.readScalar<std::uint32_t>(pb::transitionOk), all);
    minTime = station.test.readArray<double>(pb::transitionMinTime);
    EXPECT_NEAR(minTime[2], neededTime(0.7, 30, 0.9, 30, 0.25), 1e-12);
    EXPECT_EQ(minTime[0], 0.0);
    EXPECT_EQ(minTime[3], 0.0);
    EXPECT_EQ(station.test.readScalar<std::uint32_t>(pb::nBeamRegions), 3u);
    EXPECT_EQ(station.test.readScalar<std::uint32_t>(pb::nTransitionRegions), 4u);
    EXPECT_EQ(station.test.readArray<std::uint32_t>(pb::startIndexBeam), (std::vector<std::uint32_t>{0, 4, 7, 0}));
    EXPECT_EQ(
        station.test.readArray<std::uint32_t>(pb::startIndexTransition), (std::vector<std::uint32_t>{0, 2, 6, 8, 0}));
    EXPECT_EQ(station.test.readArray<Corvane::Boolean>(pb::flagsActual), tables.flags);
  }

  TEST(BeamRegions, TooManyBeamRegionsLeaveTheActualTablesUnchanged) {
    PerBunchStation station(2);
    switchOn(station);
    const auto transitions = station.test.readArray<std::uint32_t>(pb::startIndexTransition);
    // the second of two regions already reaches the limit
    station.write(bunches({0.5, 0.5, nan, 0.5, 0.5, nan, nan, nan}, {10, 10, nan, 10, 10, nan, nan, nan}));
    EXPECT_EQ(station.test.readScalar<std::string>(path::errorMessage), "Too many beam regions (max: 2)!");
    EXPECT_EQ(station.status(), StatusOutput::WARNING);
    EXPECT_EQ(station.message(), "Too many beam regions (max: 2)!");
    EXPECT_TRUE(station.enableActual());
    EXPECT_TRUE(sameTable(station.amplitudeActual(), oneRegion.amplitude));
    EXPECT_EQ(station.test.readArray<Corvane::Boolean>(pb::flagsActual), oneRegion.flags);
    EXPECT_EQ(station.test.readScalar<std::uint32_t>(pb::nBeamRegions), 1u);
    EXPECT_EQ(station.test.readArray<std::uint32_t>(pb::startIndexTransition), transitions);
  }

  TEST(BeamRegions, AnUnchangedBunchPatternIsNeitherCheckedNorRegenerated) {
    PerBunchStation station;
    switchOn(station);
    auto& module = station.module();
    const auto regenerations = module.regenerationCount();
    const auto checks = station.test.updateCount(pb::bunchOk); // every check publishes it
    station.test.writeArray<Corvane::Boolean>(pb::flags, oneRegion.flags);
    station.test.stepApplication();
    EXPECT_EQ(module.regenerationCount(), regenerations);
    EXPECT_EQ(station.test.updateCount(pb::bunchOk), checks);
    // one flag changed: checked (and refused) and regenerated
    auto flags = oneRegion.flags;
    flags[7] = false;
    station.test.writeArray<Corvane::Boolean>(pb::flags, flags);
    station.test.stepApplication();
    EXPECT_EQ(station.message(), "Per-bunch setpoint tables inconsistent");
    EXPECT_EQ(module.regenerationCount(), regenerations + 1);
  }

  TEST(BeamRegions, TheOperationalLimitStaysAboveTheAmplitudesInForce) {
    PerBunchStation station;
    const auto rising = bunches({nan, 0.5, 0.9, nan, nan, nan, nan, nan}, {nan, 0, 0, nan, nan, nan, nan, nan});
    switchOn(station, rising);
    station.test.writeScalar<double>(pb::spLimit, 0.7);
    station.test.stepApplication();
    EXPECT_EQ(station.test.readScalar<double>(pb::spLimit), 1.2);
    EXPECT_EQ(station.test.readScalar<std::string>(path::errorMessage),
        "Operational amplitude limit below an active per-bunch amplitude.");
    EXPECT_EQ(station.status(), StatusOutput::OK);
    station.test.writeScalar<double>(pb::spLimit, 0.9);
    station.test.stepApplication();
    EXPECT_EQ(station.test.readScalar<double>(pb::spLimit), 0.9);
    // per-bunch mode off: the tables are not in force
    station.setEnable(false);
    station.test.writeScalar<double>(pb::spLimit, 0.8);
    station.test.stepApplication();
    EXPECT_EQ(station.test.readScalar<double>(pb::spLimit), 0.8);
  }

  TEST(BeamRegions, RejectedInputsReturnWithTheirMessage) {
    struct Case {
      std::string path;
      double value;
      std::string message;
    };
    const std::string radius = "Setpoint slope radius must be positive.";
    const std::string delta = "Setpoint per-bunch/scalar delta must be positive.";
    const Case cases[] = {{pb::radius, 0.0, radius}, {pb::radius, 1e-12, radius}, {pb::radius, inf, radius},
        {pb::delta, 0.0, delta}, {pb::delta, -1.0, delta}, {pb::delta, inf, delta}};
    PerBunchStation station;
    station.run();
    for(const auto& c : cases) {
      SCOPED_TRACE(c.path + " = " + std::to_string(c.value));
      const double before = station.test.readScalar<double>(c.path);
      station.test.writeScalar<double>(c.path, c.value);
      station.test.stepApplication();
      EXPECT_EQ(station.test.readScalar<double>(c.path), before);
      EXPECT_EQ(station.test.readScalar<std::string>(path::errorMessage), c.message);
    }
    // the filling must end before the first bunch (sample 20 at 1 MHz) once enabled
    const std::string filling = "Filling must end before T_ZERO in per-bunch setpoint mode";
    station.test.writeScalar<double>(path::filling, 19.0);
    station.test.stepApplication();
    EXPECT_EQ(station.test.readScalar<double>(path::filling), 19.0);
    station.setEnable(true);
    EXPECT_FALSE(station.test.readScalar<Corvane::Boolean>(pb::enable));
    EXPECT_EQ(station.test.readScalar<std::string>(path::errorMessage), filling);
    station.test.writeScalar<double>(path::filling, 18.0);
    station.test.stepApplication();
    station.setEnable(true);
    EXPECT_TRUE(station.test.readScalar<Corvane::Boolean>(pb::enable));
    station.test.writeScalar<double>(path::filling, 18.5);
    station.test.stepApplication();
    EXPECT_EQ(station.test.readScalar<double>(path::filling), 18.0);
    EXPECT_EQ(station.test.readScalar<std::string>(path::errorMessage), filling);
  }

  TEST(BeamRegions, ABeamRegionAfterTheFlatTopIsCutWhilePerBunchModeStays) {
    PerBunchStation station;
    const auto full = bunches(std::vector<double>(8, 0.5), std::vector<double>(8, 10.0));
    switchOn(station, full);
    // decay from sample 25 on: bunches 5 to 7 lie after the flat-top
    station.test.writeScalar<double>(path::flattop, 20.0);
    station.test.stepApplication();
    EXPECT_EQ(station.index(path::decayStart), 25);
    EXPECT_EQ(station.status(), StatusOutput::WARNING);
    EXPECT_EQ(station.message(), "Beam region cut due to short flattop.");
    EXPECT_TRUE(station.enableActual());
    EXPECT_EQ(station.test.readScalar<std::uint32_t>(pb::nBeamRegions), 1u);
    EXPECT_EQ(
        station.test.readArray<std::uint32_t>(pb::startIndexTransition), (std::vector<std::uint32_t>{0, 5, 0, 0, 0}));
  }

  TEST(BeamRegions, TheFlatTopViewShowsTheTablesInForce) {
    PerBunchStation station;
    switchOn(station);
    auto view = station.module().beamRegions.perBunchFlattop();
    EXPECT_TRUE(view.enabled);
    EXPECT_EQ(view.tZeroSamples, 20u);
    EXPECT_TRUE(sameTable({view.amplitude.begin(), view.amplitude.end()}, oneRegion.amplitude));
    EXPECT_TRUE(sameTable({view.phase.begin(), view.phase.end()}, oneRegion.phase));
    EXPECT_EQ(view.nBeamRegions, 1u);
    EXPECT_EQ(view.nTransitionRegions, 2u);
    EXPECT_EQ(std::vector<std::uint32_t>(view.startIndexBeam.begin(), view.startIndexBeam.end()),
        (std::vector<std::uint32_t>{1, 0, 0, 0}));
    EXPECT_EQ(std::vector<std::uint32_t>(view.startIndexTransition.begin(), view.startIndexTransition.end()),
        (std::vector<std::uint32_t>{0, 4, 0, 0, 0}));
    station.setEnable(false);
    EXPECT_FALSE(station.module().beamRegions.perBunchFlattop().enabled);
  }

  TEST(BeamRegions, WithoutPerBunchSetPointsTheGroupPublishesNothing) {
    Station station;
    station.run();
    EXPECT_FALSE(station.app.getControlSystem().has(pb::enable));
    EXPECT_FALSE(station.app.getControlSystem().has(pb::amplitudeActual));
    EXPECT_TRUE(station.app.getControlSystem().has(pb::spAmplitude));
    EXPECT_FALSE(station.module().beamRegions.perBunchFlattop().enabled);
  }

} // namespace
