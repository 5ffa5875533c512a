// The gain table on the recording board (tables of 100 samples): the pulsed table and its ramps in the board's
// registers with Q a copy of I, continuous wave, the operator rules that put a refused value back with its
// message, products and fallbacks that stay finite for any sampling frequency, and the consistency checks.
#include "GainTable.h"
#include "TableWriterStation.h"
#include "EdgeValues.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

using namespace controllertest;

namespace {

  using testvalues::nan;
  using testvalues::inf;

  constexpr std::uint32_t samples = 100;
  const std::string gain = "/Controller/FeedBack/Gain/";
  const std::string pulse = "/Controller/PulseShape/";
  const std::string fsPath = "/Configuration/samplingFrequency_for_GainTable";
  const std::string gainBoardTable = registersOf("/Controller/FeedBack/Gain/Table");
  /// One step of the board's gain table (12 fractional bits).
  constexpr double gainStep = 1.0 / (1 << 12);

  struct Gain : TableWriterStation<GainTable> {
    explicit Gain(const std::function<void(Corvane::TestFacility&)>& defaults = {})
    : TableWriterStation("gaintable", "Controller/GainTable", samples, defaults) {}

    /// The pulse of the examples: 10 us delay, 5 us filling, 5 us flat-top at 1 MHz, gain 2 from sample 10 to 19.
    void examplePulse() {
      set(fsPath, 1.0);
      set(pulse + "delay", 10.0);
      set(pulse + "fillingDuration", 5.0);
      set(pulse + "flattopDuration", 5.0);
      set(gain + "magnitude", 2.0);
    }

    /// A ramp window of the gain scheduling (the stop first, so that each step is accepted).
    void scheduleRamp(double startTime, double stopTime) {
      set(gain + "Scheduling/stopTime", stopTime);
      set(gain + "Scheduling/startTime", startTime);
    }

    template<class T>
    void set(const std::string& path, T value) {
      test.writeScalar<T>(path, value);
      settle();
    }

    std::vector<double> boardI() { return board->getRegister<double>(gainBoardTable + "/I"); }
    std::vector<double> boardQ() { return board->getRegister<double>(gainBoardTable + "/Q"); }
    std::string error() { return test.readScalar<std::string>("/Controller/GainTable/errorMessage"); }
    /// The rule messages logged since the last call.
    std::vector<std::string> reported() {
      std::vector<std::string> messages;
      for(const auto& text : log.take()) {
        if(text.starts_with("ERROR in GainTable: ")) messages.push_back(text.substr(20));
      }
      return messages;
    }
    /// Whether `message` was reported since the last call and is the one "errorMessage" shows (the last one).
    ::testing::AssertionResult refusedWith(const std::string& message) {
      const auto messages = reported();
      if(std::find(messages.begin(), messages.end(), message) == messages.end())
        return ::testing::AssertionFailure() << "not reported: " << ::testing::PrintToString(messages);
      if(messages.back() != error()) return ::testing::AssertionFailure() << "errorMessage is " << error();
      return ::testing::AssertionSuccess();
    }
  };

  /// 2 from sample 10 to 19, 0 elsewhere.
  std::vector<double> exampleTable() {
    std::vector<double> table(samples, 0);
    for(std::size_t k = 10; k < 20; ++k) table[k] = 2;
    return table;
  }

  TEST(GainTable, ThePulsedGainHoldsTheMagnitudeFromPulseStartToFlattopEndAndQCopiesI) {
    Gain station;
    station.examplePulse();
    EXPECT_EQ(station.boardI(), exampleTable());
    EXPECT_EQ(station.boardQ(), exampleTable());
    EXPECT_EQ(station.test.readArray<double>(gain + "Table/Q"), exampleTable());
    // the gain's own delay shifts the pulse: 3 us later
    station.set(gain + "delay", 3.0);
    auto shifted = std::vector<double>(samples, 0);
    for(std::size_t k = 13; k < 23; ++k) shifted[k] = 2;
    EXPECT_EQ(station.boardI(), shifted);
    EXPECT_EQ(station.error(), "");
  }

  TEST(GainTable, ScheduledRampsRiseFromZeroAtTheStartToTheMagnitudeAtTheStop) {
    Gain station;
    station.examplePulse();
    station.set(gain + "magnitude", 1.0);
    // ramp from 2 us to 6 us after the pulse start: samples 12 to 15, the magnitude from 16 to 19
    station.scheduleRamp(2.0, 6.0);
    station.set(gain + "Scheduling/functionSelect", 2);
    std::vector<double> linear(samples, 0);
    for(std::size_t k = 12; k < 16; ++k) linear[k] = 0.25 * static_cast<double>(k - 12);
    for(std::size_t k = 16; k < 20; ++k) linear[k] = 1;
    EXPECT_EQ(station.boardI(), linear);
    EXPECT_EQ(station.boardQ(), linear);

    station.set(gain + "Scheduling/functionSelect", 1);
    const auto sine = station.boardI();
    for(std::size_t k = 0; k < samples; ++k) {
      double want = k >= 16 && k < 20 ? 1 : 0;
      if(k >= 12 && k < 16) want = std::sin(std::numbers::pi / 2 * static_cast<double>(k - 12) / 4);
      EXPECT_NEAR(sine[k], want, gainStep / 2) << k;
    }
    EXPECT_EQ(station.error(), "");
  }

  TEST(GainTable, ContinuousWaveHoldsTheMagnitudeEverywhere) {
    Gain station;
    station.examplePulse();
    station.set(gain + "Scheduling/functionSelect", 2);
    station.set(pulse + "cwMode", 1);
    EXPECT_EQ(station.boardI(), std::vector<double>(samples, 2));
    EXPECT_EQ(station.boardQ(), std::vector<double>(samples, 2));
    station.set(pulse + "cwMode", 0);
    EXPECT_EQ(station.boardI(), exampleTable());
  }

  TEST(GainTable, RefusedValuesReturnToTheLastAcceptedOneWithTheRulesMessage) {
    struct Case {
      std::string path;
      double value;
      std::string message;
    };
    const Case cases[] = {
        {gain + "magnitude", -1, "Gain magnitude must not be negative."},
        {gain + "magnitude", nan, "Gain magnitude must not be negative."},
        {gain + "magnitude", inf, "Gain magnitude must not be negative."},
        {gain + "delay", -11, "Gain scheduling negative table delay bigger than pulse delay."},
        {gain + "delay", 100, "Flattop end (incl. table delay) out of range"},
        {pulse + "delay", 95, "Flattop end (incl. table delay) out of range"},
        {pulse + "flattopDuration", -20, "Flattop end (incl. table delay) out of range"},
        {pulse + "flattopDuration", -10, "Flattop end before filling start not allowed"},
        // products beyond 32 bits saturate, and a product that is not a number counts as below 0 (the first
        // failing rule is reported: its restore makes the others hold)
        {fsPath, 1e300, "Pulse delay out of range"},
        {fsPath, -1e300, "Gain scheduling negative table delay bigger than pulse delay."},
        {fsPath, inf, "Gain scheduling negative table delay bigger than pulse delay."},
        {fsPath, nan, "Gain scheduling negative table delay bigger than pulse delay."},
    };
    Gain station;
    station.examplePulse();
    for(const auto& c : cases) {
      SCOPED_TRACE(c.path + " = " + std::to_string(c.value));
      const double before = station.test.readScalar<double>(c.path);
      const auto writes = station.board->getWriteCount(gainBoardTable + "/I");
      station.reported();
      station.set(c.path, c.value);
      EXPECT_TRUE(station.refusedWith(c.message));
      EXPECT_EQ(station.test.readScalar<double>(c.path), before);
      // the pass goes on with the restored value: the same table, written again
      EXPECT_EQ(station.board->getWriteCount(gainBoardTable + "/I"), writes + 1);
      EXPECT_EQ(station.boardI(), exampleTable());
    }
    // a ramp inside the pulse, so that only the function value can fail
    station.scheduleRamp(2.0, 6.0);
    for(const std::int32_t select : {3, -1}) {
      station.set(gain + "Scheduling/functionSelect", select);
      EXPECT_TRUE(station.refusedWith("Gain scheduling functionSelect out of range"));
      EXPECT_EQ(station.test.readScalar<std::int32_t>(gain + "Scheduling/functionSelect"), 0);
    }
    // magnitude 0 is a table of zeros, written with the buffer handshake
    station.board->watchTable(gainBoardTable);
    station.set(gain + "magnitude", 0.0);
    EXPECT_EQ(station.boardI(), std::vector<double>(samples, 0));
    EXPECT_EQ(station.board->accesses(), (std::vector<std::string>{"lock", "write I", "write Q", "read current I",
                                             "read current Q", "write select I", "write select Q", "unlock"}));
  }

  TEST(GainTable, AStopTimeWithoutAcceptedValueFallsBackToOneSamplePeriodAfterThePulseStart) {
    // the ramp's stop lies far beyond the flat-top at start; with a sampling frequency of 0 there is no sample
    // period, and the fallback is the pulse start itself instead of an infinite time
    for(const auto& [fs, fallback] : {std::pair{2.0, 3.5}, std::pair{0.0, 3.0}, std::pair{-1.0, 3.0}}) {
      SCOPED_TRACE("fs " + std::to_string(fs));
      Gain station([fs](Corvane::TestFacility& test) {
        test.setScalarDefault<double>(fsPath, fs);
        test.setScalarDefault<double>(pulse + "delay", 3.0);
        test.setScalarDefault<double>(gain + "magnitude", 1.0);
        test.setScalarDefault<std::int32_t>(gain + "Scheduling/functionSelect", 1);
        test.setScalarDefault<double>(gain + "Scheduling/stopTime", 500.0);
      });
      EXPECT_EQ(station.test.readScalar<double>(gain + "Scheduling/stopTime"), fallback);
      for(double value : station.boardI()) EXPECT_TRUE(std::isfinite(value));
    }
  }

  TEST(GainTable, IndicesBeyondTheTableAreRepairedForThePassAndReported) {
    // a pulse delay beyond the table from the start has no accepted value to return to: the pass repairs the
    // indices (pulse start 0, flat-top end the last sample) and reports the failed checks
    Gain station([](Corvane::TestFacility& test) {
      test.setScalarDefault<double>(fsPath, 1.0);
      test.setScalarDefault<double>(pulse + "delay", 200.0);
      test.setScalarDefault<double>(gain + "magnitude", 1.0);
    });
    EXPECT_EQ(station.error(), "safe_assert 119 failed, notify developer!");
    const auto reports = station.log.textsFrom("GainTable");
    for(const std::string check : {"(117) failed: !(_index_delay < _pulseLength)",
            "(119) failed: !(_index_flattop_end < _pulseLength)"}) {
      EXPECT_EQ(std::count_if(reports.begin(), reports.end(),
                    [&](const std::string& text) {
                      return text.starts_with("safe_assert in ") && text.find("GainTable.cc " + check) != std::string::npos;
                    }),
          1)
          << check;
    }
    std::vector<double> repaired(samples, 1);
    repaired.back() = 0;
    EXPECT_EQ(station.boardI(), repaired);
  }

} // namespace
