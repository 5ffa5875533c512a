// One ADC channel inside a board application with a dummy board: a full pulse against values worked out
// here, the data-fault hold-off after changes of the board's DAQ error counter, shifts of the sampling
// position, statistics on and off, and the power outputs and samples while the power scaling is not usable.
#include "AdcBoardFixture.h"

#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

using namespace adctest;
using Corvane::DataValidity;

namespace {

  constexpr std::uint32_t pulseLength = 37;

  std::vector<std::int32_t> rampAmplitude() {
    std::vector<std::int32_t> raw(pulseLength);
    for(std::uint32_t i = 0; i < pulseLength; ++i) raw[i] = 1000 + 37 * static_cast<std::int32_t>(i);
    return raw;
  }

  std::vector<std::int32_t> rampPhase() {
    std::vector<std::int32_t> raw(pulseLength);
    for(std::uint32_t i = 0; i < pulseLength; ++i) raw[i] = 65536 - 5000 * static_cast<std::int32_t>(i);
    return raw;
  }

  /// A board whose channel 0 sees the ramps; bit scaling 4, power factor 1 / (2 x 4), threshold 300,
  /// flat-top from sample 20, sampling position 10 at 2 MHz.
  struct RunningBoard {
    explicit RunningBoard(BoardSettings settings = {}) : app(settings), test(app), board(boardBackend()) {
      test.setScalarDefault<double>("/Configuration/bitScalingLengthScaled", 4.0);
      test.setScalarDefault<double>("/Configuration/zeroPhaseThreshold", 300.0);
      test.setScalarDefault<double>("/Configuration/extraPowerScaling", 4.0);
      test.setScalarDefault<double>(channel0 + "powerScaling", 2.0);
      test.setScalarDefault<std::uint32_t>("/Configuration/flattopBeginIndex", 20);
      test.setScalarDefault<double>("/Configuration/samplingFrequency", 2.0);
      test.setScalarDefault<std::uint32_t>("/Configuration/SamplingPosition/index", 10);
    }

    void start() {
      test.runApplication();
      settleLocks(test);
    }
    void setRaw(const std::vector<std::int32_t>& amplitude, const std::vector<std::int32_t>& phase) {
      board->setRegister<std::int32_t>("NormalDataMode.Channel0.amplitudeUncalibrated", amplitude);
      board->setRegister<std::int32_t>("NormalDataMode.Channel0.phaseUncalibrated", phase);
    }
    void setErrorCount(std::uint32_t count) {
      if(app.errorCounterFeeder.getName().empty()) {
        board->setRegister<std::uint32_t>("Adc.Channel0.daqErrorCounter", {count});
      }
      else {
        test.writeScalar<std::uint32_t>("/test/daqErrorCounter", count);
        test.stepApplication(); // the feeder has passed the count on before the next pulse
      }
    }
    void pulse(Corvane::VersionNumber version = {}) {
      test.writeScalar<std::int64_t>("/AdcBoard0/normalTrigger", ++triggers, version);
      test.stepApplication();
    }
    std::vector<float> array(const std::string& name) { return test.readArray<float>(channel0 + name); }
    float scalar(const std::string& name) { return test.readScalar<float>(channel0 + name); }

    BoardApp app;
    Corvane::TestFacility test;
    std::shared_ptr<LockWatchingBackend> board;
    std::int64_t triggers{0};
  };

  // Worked out independently of the module: quarter-unit steps, so every value is exact in float.
  float expectedAmplitude(std::uint32_t i) {
    return static_cast<float>(250.0 + 9.25 * i);
  }
  float expectedPhase(std::uint32_t i) {
    return expectedAmplitude(i) > 300.F ? static_cast<float>(rampPhase()[i] * 45.0 / 32768.0) : 0.F;
  }
  float expectedPower(std::uint32_t i) {
    const double raw = 1000.0 + 37.0 * i;
    return static_cast<float>(raw * raw / 8.0);
  }

} // namespace

TEST(AdcChannelComputations, OnePulseThroughTheChannel) {
  RunningBoard channel;
  channel.start();
  EXPECT_EQ(channel.test.readScalar<std::uint32_t>(channel0 + "channelNumber"), 0u);

  channel.setRaw(rampAmplitude(), rampPhase());
  const Corvane::VersionNumber pulseVersion;
  channel.pulse(pulseVersion);

  const auto amplitude = channel.array("amplitude");
  const auto phase = channel.array("phase");
  const auto power = channel.array("power");
  ASSERT_EQ(amplitude.size(), pulseLength);
  std::vector<float> fillingPowers, flattopPowers;
  for(std::uint32_t i = 0; i < pulseLength; ++i) {
    EXPECT_EQ(amplitude[i], expectedAmplitude(i)) << i;
    EXPECT_EQ(phase[i], expectedPhase(i)) << i;
    EXPECT_EQ(power[i], expectedPower(i)) << i;
    (i < 20 ? fillingPowers : flattopPowers).push_back(expectedPower(i));
  }
  EXPECT_EQ(phase[5], 0.F);      // 296.25 is below the threshold
  EXPECT_NE(phase[6], 0.F);      // 305.5 is above
  EXPECT_EQ(channel.scalar("peakPowerFilling"), *std::max_element(fillingPowers.begin(), fillingPowers.end()));
  EXPECT_EQ(channel.scalar("peakPowerFlattop"), *std::max_element(flattopPowers.begin(), flattopPowers.end()));

  EXPECT_EQ(channel.scalar("Samples/amplitude"), expectedAmplitude(10));
  EXPECT_EQ(channel.scalar("Samples/phase"), expectedPhase(10));
  EXPECT_EQ(channel.scalar("Samples/power"), expectedPower(10));

  // Mean and sample standard deviation in double; the float accumulation stays within a few ulp here.
  auto meanAndDeviation = [](auto value) {
    double sum = 0, squares = 0;
    for(std::uint32_t i = 0; i < pulseLength; ++i) sum += value(i);
    const double mean = sum / pulseLength;
    for(std::uint32_t i = 0; i < pulseLength; ++i) squares += (value(i) - mean) * (value(i) - mean);
    return std::pair{mean, std::sqrt(squares / (pulseLength - 1))};
  };
  const auto [amplitudeMean, amplitudeDeviation] = meanAndDeviation([](auto i) { return double(expectedAmplitude(i)); });
  const auto [phaseMean, phaseDeviation] = meanAndDeviation([](auto i) { return double(expectedPhase(i)); });
  const auto [powerMean, powerDeviation] = meanAndDeviation([](auto i) { return double(expectedPower(i)); });
  (void)powerDeviation;
  EXPECT_NEAR(channel.scalar("Statistics/amplitudeAverage"), amplitudeMean, amplitudeMean * 1e-6);
  EXPECT_NEAR(channel.scalar("Statistics/amplitudeStandardDeviation"), amplitudeDeviation, amplitudeDeviation * 1e-5);
  EXPECT_NEAR(channel.scalar("Statistics/phaseAverage"), phaseMean, std::abs(phaseMean) * 1e-5);
  EXPECT_NEAR(channel.scalar("Statistics/phaseStandardDeviation"), phaseDeviation, phaseDeviation * 1e-5);
  EXPECT_NEAR(channel.scalar("Statistics/powerAverage"), powerMean, powerMean * 1e-6);

  // Everything derived from the pulse carries its version and is valid.
  for(const char* name : {"amplitude", "phase", "power", "peakPowerFilling", "peakPowerFlattop", "Samples/amplitude",
          "Samples/power", "Statistics/amplitudeAverage", "Statistics/phaseStandardDeviation"}) {
    EXPECT_EQ(channel.test.getVersion(channel0 + name), pulseVersion) << name;
    EXPECT_EQ(channel.test.getValidity(channel0 + name), DataValidity::ok) << name;
  }
}

TEST(AdcChannelComputations, DaqErrorsHoldTheOutputsFaulty) {
  // The receive queue holds 3 values, so the hold-off length is 4 unchanged passes after the last change.
  struct Case {
    const char* what;
    std::uint32_t atStart;
    std::vector<std::uint32_t> counts;  // error counter at each pulse
    std::vector<bool> faulty;           // expected validity of the pulse's outputs
    bool readAtStart{true};             // false: no count can be read when the channel starts
  };
  const Case cases[] = {
      {"a count present at start is no error", 17, {17, 17, 17}, {false, false, false}},
      {"one change", 17, {18, 18, 18, 18, 18, 18, 18}, {true, true, true, true, true, false, false}},
      {"two changes in successive passes", 17, {18, 19, 19, 19, 19, 19, 19, 19},
          {true, true, true, true, true, true, false, false}},
      {"a change during the hold-off restarts it", 0, {1, 1, 1, 2, 2, 2, 2, 2, 2},
          {true, true, true, true, true, true, true, true, false}},
      {"a decreasing count is a change too", 9, {3, 3, 3, 3, 3, 3}, {true, true, true, true, true, false}},
      // the first count read is where the channel starts from, not a change from the missing reading
      {"the first count read is no error", 0, {17, 17, 17}, {false, false, false}, false},
      {"a change after the first count read", 0, {17, 18, 18, 18, 18, 18, 18},
          {false, true, true, true, true, true, false}, false},
  };
  for(const auto& c : cases) {
    SCOPED_TRACE(c.what);
    BoardSettings settings;
    settings.errorCounterOnBoard = c.readAtStart;
    RunningBoard channel(settings);
    if(c.readAtStart) channel.setErrorCount(c.atStart);
    channel.start();
    // without a count the outputs of the first pass are marked faulty with their input
    EXPECT_EQ(channel.test.getValidity(channel0 + "amplitude"), c.readAtStart ? DataValidity::ok : DataValidity::faulty);
    for(std::size_t p = 0; p < c.counts.size(); ++p) {
      channel.setErrorCount(c.counts[p]);
      channel.setRaw(rampAmplitude(), rampPhase());
      channel.pulse();
      const auto expected = c.faulty[p] ? DataValidity::faulty : DataValidity::ok;
      EXPECT_EQ(channel.test.getValidity(channel0 + "amplitude"), expected) << "pulse " << p;
      EXPECT_EQ(channel.test.getValidity(channel0 + "Samples/phase"), expected) << "pulse " << p;
      // The values are computed and published all the same.
      EXPECT_EQ(channel.array("amplitude")[3], expectedAmplitude(3)) << "pulse " << p;
    }
  }
}

TEST(AdcChannelComputations, SamplingPositionAndChannelOffset) {
  struct Case {
    std::uint32_t index;
    double offsetMicroseconds; // at 2 MHz
    std::uint32_t sample;
  };
  const Case cases[] = {
      {10, 0.0, 10},
      {10, 1.5, 13},
      {10, -1.25, 7},  // -2.5 samples round away from zero to -3
      {10, 1.25, 13},  // 2.5 to 3
      {0, 0.0, 0},
      {36, 0.0, 36},
      {2, -5.0, 0},    // before the pulse start: the first sample, not a wrapped index
      {35, 2.5, 36},   // past the end: the last sample
      {500, 0.0, 36},  // a global index beyond this channel's arrays
  };
  RunningBoard channel;
  channel.setRaw(rampAmplitude(), rampPhase());
  channel.start();
  for(const auto& c : cases) {
    channel.test.writeScalar<std::uint32_t>("/Configuration/SamplingPosition/index", c.index);
    channel.test.writeScalar<double>(channel0 + "samplingOffset", c.offsetMicroseconds);
    channel.pulse();
    EXPECT_EQ(channel.scalar("Samples/amplitude"), expectedAmplitude(c.sample)) << c.index << " " << c.offsetMicroseconds;
    EXPECT_EQ(channel.scalar("Samples/phase"), expectedPhase(c.sample)) << c.index << " " << c.offsetMicroseconds;
    EXPECT_EQ(channel.scalar("Samples/power"), expectedPower(c.sample)) << c.index << " " << c.offsetMicroseconds;
  }
}

TEST(AdcChannelComputations, AnOffsetThatIsNoNumberKeepsTheLastOffset) {
  LogCapture log;
  RunningBoard channel;
  channel.setRaw(rampAmplitude(), rampPhase());
  channel.start();
  channel.test.writeScalar<double>(channel0 + "samplingOffset", 3.0); // 6 samples
  channel.pulse();
  EXPECT_EQ(channel.scalar("Samples/amplitude"), expectedAmplitude(16));
  for(int p = 0; p < 2; ++p) {
    channel.test.writeScalar<double>(channel0 + "samplingOffset", std::numeric_limits<double>::quiet_NaN());
    channel.pulse();
    EXPECT_EQ(channel.scalar("Samples/amplitude"), expectedAmplitude(16));
  }
  EXPECT_EQ(log.warningsContaining("samplingOffset").size(), 1u);
}

TEST(AdcChannelComputations, StatisticsOnlyWhenEnabled) {
  for(bool enabled : {true, false}) {
    RunningBoard channel(BoardSettings{.name = enabled ? "adcstat1" : "adcstat0", .statistics = enabled});
    channel.setRaw(rampAmplitude(), rampPhase());
    channel.start();
    const auto& variables = channel.app.getControlSystem().variables();
    std::size_t statisticsVariables = 0;
    for(const auto& [path, variable] : variables) {
      if(path.starts_with(channel0 + "Statistics/")) ++statisticsVariables;
    }
    EXPECT_EQ(statisticsVariables, enabled ? 5u : 0u);
    EXPECT_TRUE(variables.count(channel0 + "amplitude"));
    channel.pulse();
    EXPECT_EQ(channel.array("amplitude")[7], expectedAmplitude(7));
  }
}

TEST(AdcChannelComputations, PowerWithoutUsableScalingKeepsTheLastComputedPower) {
  RunningBoard channel;
  channel.test.setScalarDefault<double>(channel0 + "powerScaling", 0.0);
  channel.setRaw(rampAmplitude(), rampPhase());
  channel.start();
  // Published once with zeros, so that every output exists; not again while the scaling is 0.
  EXPECT_EQ(channel.array("power"), std::vector<float>(pulseLength, 0.F));
  EXPECT_EQ(channel.scalar("peakPowerFilling"), 0.F);
  EXPECT_EQ(channel.scalar("peakPowerFlattop"), 0.F);
  const auto powerWrites = channel.test.updateCount(channel0 + "power");
  const auto peakWrites = channel.test.updateCount(channel0 + "peakPowerFilling");
  channel.pulse();
  EXPECT_EQ(channel.test.updateCount(channel0 + "power"), powerWrites);
  EXPECT_EQ(channel.test.updateCount(channel0 + "peakPowerFilling"), peakWrites);
  EXPECT_EQ(channel.scalar("Samples/power"), 0.F);

  channel.test.writeScalar<double>(channel0 + "powerScaling", 2.0);
  channel.pulse();
  EXPECT_EQ(channel.array("power")[10], expectedPower(10));
  EXPECT_EQ(channel.test.updateCount(channel0 + "power"), powerWrites + 1);
  const float averageOfRamp = channel.scalar("Statistics/powerAverage");

  // Unusable again, and a different pulse: the outputs keep the ramp's power, and so do the sample and the
  // average, which are taken from the power last computed, never from a buffer handed on.
  channel.test.writeScalar<double>(channel0 + "powerScaling", -1.0);
  channel.setRaw(std::vector<std::int32_t>(pulseLength, 5), rampPhase());
  channel.pulse();
  channel.pulse();
  EXPECT_EQ(channel.test.updateCount(channel0 + "power"), powerWrites + 1);
  EXPECT_EQ(channel.array("power")[10], expectedPower(10));
  EXPECT_EQ(channel.scalar("Samples/power"), expectedPower(10));
  EXPECT_EQ(channel.scalar("Statistics/powerAverage"), averageOfRamp);
  EXPECT_EQ(channel.array("amplitude")[10], 1.25F);
}

TEST(AdcChannelComputations, SampleKeepsItsLastComputedPowerWhenItMovesWhileThereIsNoPower) {
  // The power is computed into the published array, which the destructive write may exchange, so a pass
  // without power has no power trace to take a new sample from: the sample keeps the value it last had.
  RunningBoard channel;
  channel.setRaw(rampAmplitude(), rampPhase());
  channel.start();
  EXPECT_EQ(channel.scalar("Samples/power"), expectedPower(10));
  channel.test.writeScalar<double>(channel0 + "powerScaling", 0.0);
  channel.test.writeScalar<std::uint32_t>("/Configuration/SamplingPosition/index", 20);
  channel.pulse();
  channel.pulse();
  EXPECT_EQ(channel.scalar("Samples/amplitude"), expectedAmplitude(20));
  EXPECT_EQ(channel.scalar("Samples/power"), expectedPower(10));
  channel.test.writeScalar<double>(channel0 + "powerScaling", 2.0);
  channel.pulse();
  EXPECT_EQ(channel.scalar("Samples/power"), expectedPower(20));
}

TEST(AdcChannelComputations, FlattopStartBeyondThePulse) {
  RunningBoard channel;
  channel.test.setScalarDefault<std::uint32_t>("/Configuration/flattopBeginIndex", 1000);
  channel.setRaw(rampAmplitude(), rampPhase());
  channel.start();
  EXPECT_EQ(channel.scalar("peakPowerFilling"), expectedPower(pulseLength - 1));
  EXPECT_EQ(channel.scalar("peakPowerFlattop"), 0.F);
  channel.test.writeScalar<std::uint32_t>("/Configuration/flattopBeginIndex", 0);
  channel.pulse();
  EXPECT_EQ(channel.scalar("peakPowerFilling"), 0.F);
  EXPECT_EQ(channel.scalar("peakPowerFlattop"), expectedPower(pulseLength - 1));
}
