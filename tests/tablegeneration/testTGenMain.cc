// The table generation module in a test application: the published pulse
// indices, the input checks with their messages and restored values, the
// consistency reports, the regeneration once per batch of changes (none for a
// batch that changes no value), and the
// phase of both tables through the module's own inputs.
#include "TableGenerationStation.h"
#include "EdgeValues.h"

#include <Corvane/WakeUpBatch.h>

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace {

  using testvalues::inf;

  using namespace tablegenerationtest;

  /// Queues every write before the module wakes, then lets it run once.
  void writeTogether(Station& station, const std::vector<std::pair<std::string, double>>& writes) {
    {
      Corvane::WakeUpBatch batch;
      for(const auto& [p, value] : writes) station.test.writeScalar<double>(p, value);
    }
    station.test.stepApplication();
  }

  TEST(TGenMain, PublishesThePulseIndicesOfTheExampleAndAnEmptyErrorMessage) {
    Station station;
    station.run();
    EXPECT_EQ(station.index(path::fillingStart), 10);
    EXPECT_EQ(station.index(path::flattopStart), 15);
    EXPECT_EQ(station.index(path::decayStart), 19);
    EXPECT_EQ(station.test.readScalar<std::string>(path::errorMessage), "");
    EXPECT_EQ(station.module().regenerationCount(), 1u);
    // continuous wave: the whole table
    station.test.writeScalar<std::int32_t>(path::cwMode, 1);
    station.test.stepApplication();
    EXPECT_EQ(station.index(path::fillingStart), 0);
    EXPECT_EQ(station.index(path::flattopStart), 0);
    EXPECT_EQ(station.index(path::decayStart), 64);
  }

  TEST(TGenMain, RejectedInputsReturnToTheirLastAcceptedValueWithTheRulesMessage) {
    struct Case {
      std::string path;
      double value;
      std::string message;
    };
    // An infinite time or sampling frequency first breaks the maximum pulse
    // length, registered before the other rules; the restored value then keeps
    // them. Infinite Q and bit scaling have only their own rule.
    const std::string tooLong = "Pulse shape parameters violate maximum pulse length.";
    const Case cases[] = {{path::flattop, 0, "Flattop duration must be positive."}, {path::flattop, inf, tooLong},
        {path::delay, -1, "Delay must not be negative."}, {path::delay, inf, tooLong},
        {path::filling, -0.5, "Filling duration must not be negative."},
        {path::filling, 60, "Pulse shape parameters violate maximum pulse length."},
        {path::samplingFrequency, 1e-6, "Sampling frequency must be positive."},
        {path::samplingFrequency, inf, tooLong}, {"/Configuration/QLoaded", inf, "QLoaded must be positive."},
        {"/Configuration/QLoadedFudge", 0, "QLoadedFudge must be positive."},
        {"/Configuration/bitScaling", inf, "Bit scaling factor must be positive."},
        {"/Configuration/bitScaling", -inf, "Bit scaling factor must be positive."}};
    Station station;
    station.run();
    for(const auto& c : cases) {
      SCOPED_TRACE(c.path + " = " + std::to_string(c.value));
      const double before = station.test.readScalar<double>(c.path);
      station.test.writeScalar<double>(c.path, c.value);
      station.test.stepApplication();
      EXPECT_EQ(station.test.readScalar<double>(c.path), before);
      EXPECT_EQ(station.test.readScalar<std::string>(path::errorMessage), c.message);
    }
    // the indices never saw a rejected value
    EXPECT_EQ(station.index(path::decayStart), 19);
  }

  TEST(TGenMain, InvalidStartValuesTakeTheirFallbacks) {
    Station station;
    station.test.setScalarDefault<double>(path::samplingFrequency, 0.0);
    station.test.setScalarDefault<double>(path::flattop, -2.0);
    station.run();
    EXPECT_EQ(station.test.readScalar<double>(path::samplingFrequency), 1.0);
    EXPECT_EQ(station.test.readScalar<double>(path::flattop), 1.0);
    EXPECT_EQ(station.index(path::decayStart), 17); // ceil(10 + 5.5 + 1)
  }

  TEST(TGenMain, TablesWaitForAnAcceptedVectorSumBitShift) {
    Station station;
    station.test.setScalarDefault<std::uint8_t>(path::bitShift, 9);
    station.run();
    // no fallback: the value is kept and reported, and no table may go to the
    // firmware
    EXPECT_EQ(station.test.readScalar<std::string>(path::errorMessage), "VS bit shift was out of range.");
    EXPECT_FALSE(station.module().tablesMayBeWritten());
    station.test.writeScalar<std::uint8_t>(path::bitShift, 8);
    station.test.stepApplication();
    EXPECT_TRUE(station.module().tablesMayBeWritten());
    station.test.writeScalar<std::uint8_t>(path::bitShift, 9);
    station.test.stepApplication();
    EXPECT_EQ(station.test.readScalar<std::uint8_t>(path::bitShift), 8);
    EXPECT_TRUE(station.module().tablesMayBeWritten());
  }

  TEST(TGenMain, ChangesWaitingTogetherLeadToOneRegeneration) {
    Station station;
    station.run();
    auto& module = station.module();
    ASSERT_EQ(module.regenerationCount(), 1u);
    station.test.writeScalar<double>(path::delay, 11.0);
    station.test.stepApplication();
    EXPECT_EQ(module.regenerationCount(), 2u);
    writeTogether(station, {{path::delay, 12.0}, {path::filling, 6.0}});
    EXPECT_EQ(module.regenerationCount(), 3u);
    // both were taken into account
    EXPECT_EQ(station.index(path::fillingStart), 12);
    EXPECT_EQ(station.index(path::flattopStart), 18);
  }

  TEST(TGenMain, OnlyChangedValuesRegenerate) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::string offset = "/Controller/FrequencyModulation/offset";
    struct Case {
      std::string path;
      double value;
      std::uint64_t regenerations;
    };
    // applied in order, each against the values the one before left
    const Case cases[] = {{path::delay, 10.0, 0}, {path::delay, 11.0, 1}, {path::delay, 11.0, 0},
        {path::delay, -1.0, 0}, // rejected and restored: the value in use
        {offset, -0.0, 1}, {offset, -0.0, 0}, {offset, 0.0, 1}, {offset, nan, 1}, {offset, nan, 0},
        {path::filling, 5.5, 0}};
    Station station;
    station.run();
    auto& module = station.module();
    for(const auto& c : cases) {
      SCOPED_TRACE(c.path + " = " + std::to_string(c.value));
      const auto before = module.regenerationCount();
      station.test.writeScalar<double>(c.path, c.value);
      station.test.stepApplication();
      EXPECT_EQ(module.regenerationCount() - before, c.regenerations);
    }
    // the other value types
    const auto before = module.regenerationCount();
    station.test.writeScalar<std::int32_t>(path::cwMode, 0);
    station.test.writeScalar<std::uint8_t>(path::bitShift, 2);
    station.test.writeScalar<Corvane::Boolean>("/Controller/FrequencyModulation/enable", false);
    station.test.stepApplication();
    EXPECT_EQ(module.regenerationCount(), before);
    station.test.writeScalar<std::uint8_t>(path::bitShift, 3);
    station.test.stepApplication();
    EXPECT_EQ(module.regenerationCount(), before + 1);
  }

  TEST(TGenMain, ABatchRegeneratesOnlyWhenItLeavesAChangedValue) {
    struct Case {
      std::string what;
      std::vector<std::pair<std::string, double>> writes;
      std::uint64_t regenerations;
    };
    // applied in order, each against the values the one before left
    const Case cases[] = {{"a write and its undo", {{path::delay, 12.0}, {path::delay, 10.0}}, 0},
        {"one unchanged and one changed value", {{path::delay, 10.0}, {path::filling, 6.0}}, 1},
        {"two changes and a rejected one", {{path::delay, 9.0}, {path::flattop, 0.0}, {path::filling, 5.0}}, 1}};
    Station station;
    station.run();
    auto& module = station.module();
    for(const auto& c : cases) {
      SCOPED_TRACE(c.what);
      const auto before = module.regenerationCount();
      writeTogether(station, c.writes);
      EXPECT_EQ(module.regenerationCount() - before, c.regenerations);
    }
    EXPECT_EQ(station.index(path::flattopStart), 14);
  }

  TEST(TGenMain, RewritingATimeWithItsValueSendsNoIndexAgain) {
    Station station;
    station.run();
    const auto before = station.test.updateCount(path::flattopStart);
    station.test.writeScalar<double>(path::delay, 10.0);
    station.test.stepApplication();
    EXPECT_EQ(station.test.updateCount(path::flattopStart), before);
    station.test.writeScalar<double>(path::delay, 10.9);
    station.test.stepApplication();
    EXPECT_EQ(station.test.updateCount(path::flattopStart),
        before + 1); // floor(16.4)
    EXPECT_EQ(station.index(path::fillingStart), 10);
  }

  TEST(TGenMain, AFailedConsistencyCheckIsReportedAndRepaired) {
    Station station;
    station.test.setScalarDefault<double>(path::filling, 5.0);
    station.test.setScalarDefault<double>(path::flattop, 1e-16);
    station.run();
    EXPECT_EQ(station.index(path::decayStart), 16);
    EXPECT_EQ(station.test.readScalar<std::string>(path::errorMessage), "safe_assert 58 failed, notify developer!");
    bool logged = false;
    for(const auto& m : station.log.messages()) {
      logged |= m.text.find("safe_assert in src/TableGeneration/PulseShape (58) "
                            "failed: !(i > indices.flattopStart)") != std::string::npos;
    }
    EXPECT_TRUE(logged);
  }

  TEST(TGenMain, BothTablesTakeTheSetPointFlatTopAtTheirOwnDelay) {
    Station station;
    station.test.setScalarDefault<double>("/Controller/FeedForward/delay", 2.0);
    station.test.setScalarDefault<double>("/Controller/SetPoint/delay", 5.0);
    station.test.setScalarDefault<double>("/Controller/SetPoint/phaseFillingDelta", 10.0);
    station.test.setScalarDefault<double>("/Controller/SetPoint/phaseSlope", 4.0);
    station.test.setScalarDefault<double>("/Controller/SetPoint/phase", 30.0);
    station.run();
    auto& module = station.module();
    // set-point flat-top from 20 (15 + 5) to 24; the feed-forward one three
    // samples earlier
    EXPECT_DOUBLE_EQ(module.setPoint.modulatePhase(19), 40.0);
    EXPECT_DOUBLE_EQ(module.setPoint.modulatePhase(20), 30.0);
    EXPECT_DOUBLE_EQ(module.feedForward.modulatePhase(16), 40.0);
    EXPECT_DOUBLE_EQ(module.feedForward.modulatePhase(17), 30.0);
    EXPECT_DOUBLE_EQ(module.feedForward.modulatePhase(21), 34.0);
    EXPECT_DOUBLE_EQ(module.setPoint.modulatePhase(24), 34.0);
  }

  TEST(TGenMain, EachTableHasItsOwnModulationWindow) {
    Station station;
    for(const std::string group : {"FeedForward", "Setpoint"}) {
      station.test.setScalarDefault<double>("/Controller/PhaseModulation/" + group + "/startTime", 1.0);
      station.test.setScalarDefault<double>("/Controller/PhaseModulation/" + group + "/stopTime", 3.0);
    }
    station.test.setScalarDefault<double>("/Controller/FeedForward/delay", 2.0);
    station.test.setScalarDefault<std::int32_t>("/Controller/PhaseModulation/Setpoint/functionSelect", 1);
    station.test.setScalarDefault<double>("/Controller/PhaseModulation/Setpoint/maximumPhaseOffset", 10.0);
    station.run();
    auto& module = station.module();
    EXPECT_EQ(module.feedForward.modulationStart, 13);
    EXPECT_EQ(module.feedForward.modulationStop, 15);
    EXPECT_EQ(module.setPoint.modulationStart, 11);
    EXPECT_EQ(module.setPoint.modulationStop, 13);
    EXPECT_DOUBLE_EQ(module.setPoint.modulatePhase(10), -10.0);
    EXPECT_DOUBLE_EQ(module.feedForward.modulatePhase(10),
        0.0); // its modulation is off
  }

} // namespace
