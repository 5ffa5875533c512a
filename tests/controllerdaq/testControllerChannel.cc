// Controller DAQ channels inside the controller test application: a pulse of constant I = 3, Q = 4 through
// channels with and without amplitude and phase, the bit shift, scales that give no meaningful amplitude,
// flat-top indices beyond or before each other, and a station without channel statistics.
#include "ControllerFixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace controllerdaq;
using Corvane::DataValidity;

namespace {

  const float phaseOfThreeAndFour = std::atan2(4.F, 3.F) / 3.14159274F * 180.F;

  std::vector<float> constant(float value) { return std::vector<float>(8, value); }

  /// A ramp in I (sample k has I = k + 1) with Q = 0: amplitude k + 1 at phase 0.
  std::vector<float> ramp() {
    std::vector<float> values(8);
    for(std::size_t k = 0; k < values.size(); ++k) values[k] = static_cast<float>(k + 1);
    return values;
  }

  bool has(RunningController& c, const std::string& path) { return c.app.getControlSystem().has(path); }

} // namespace

TEST(ControllerChannel, ThreeAndFourGiveFiveAtFiftyThreeDegrees) {
  struct Case {
    std::uint8_t bitShift;
    double zeroPhaseThreshold;
    float amplitude, phase;
  };
  // the set-point channel applies the bit shift: bit scaling 1 / 2^2 makes the amplitude four times larger
  for(auto c : {Case{0, 1.0, 5.F, phaseOfThreeAndFour}, Case{0, 5.0, 5.F, 0.F}, Case{2, 1.0, 20.F, phaseOfThreeAndFour}}) {
    SCOPED_TRACE(testing::Message() << "shift " << int(c.bitShift) << " threshold " << c.zeroPhaseThreshold);
    RunningController controller;
    controller.test.setScalarDefault<std::uint8_t>("/Configuration/vectorSumBitShift", c.bitShift);
    controller.test.setScalarDefault<double>("/Configuration/zeroPhaseThreshold", c.zeroPhaseThreshold);
    controller.start();
    controller.setTraces("SetPoint", constant(3.F), constant(4.F));
    const auto version = controller.pulse();

    EXPECT_EQ(controller.array(setPoint + "amplitude"), constant(c.amplitude));
    EXPECT_EQ(controller.array(setPoint + "phase"), constant(c.phase));
    EXPECT_EQ(controller.scalar(setPoint + "Samples/amplitude"), c.amplitude);
    EXPECT_EQ(controller.scalar(setPoint + "Samples/phase"), c.phase);
    // the samples and averages of I and Q are the firmware's values, not scaled
    EXPECT_EQ(controller.scalar(setPoint + "Samples/I"), 3.F);
    EXPECT_EQ(controller.scalar(setPoint + "Samples/Q"), 4.F);
    EXPECT_EQ(controller.scalar(setPoint + "Statistics/IAverage"), 3.F);
    EXPECT_EQ(controller.scalar(setPoint + "Statistics/QAverage"), 4.F);
    EXPECT_EQ(controller.scalar(setPoint + "Statistics/amplitudeAverage"), c.amplitude);
    EXPECT_EQ(controller.scalar(setPoint + "Statistics/phaseAverage"), c.phase);
    EXPECT_EQ(controller.scalar(setPoint + "Statistics/amplitudeStandardDeviation"), 0.F);
    for(const char* output : {"amplitude", "phase", "Samples/phase", "Statistics/amplitudeAverage"}) {
      EXPECT_EQ(controller.test.getVersion(setPoint + output), version) << output;
      EXPECT_EQ(controller.test.getValidity(setPoint + output), DataValidity::ok) << output;
    }
  }
}

TEST(ControllerChannel, TheBitShiftOnlyScalesChannelsThatApplyIt) {
  RunningController controller;
  controller.test.setScalarDefault<std::uint8_t>("/Configuration/vectorSumBitShift", 200);
  controller.start();
  controller.setTraces("VectorSum", constant(3.F), constant(4.F));
  controller.setTraces("Error", constant(3.F), constant(4.F));
  controller.pulse();
  // 5 x 2^200 is beyond single precision: infinite, but no shift out of range
  EXPECT_EQ(controller.scalar(vectorSum + "Samples/amplitude"), std::numeric_limits<float>::infinity());
  EXPECT_EQ(controller.scalar(error + "Samples/I"), 3.F);
}

TEST(ControllerChannel, AScaleThatIsNotFiniteAndPositiveMarksAmplitudeAndPhaseFaulty) {
  RunningController controller;
  controller.start();
  controller.setTraces("VectorSum", constant(3.F), constant(4.F));
  for(double bitScaling : {0.0, -1.0, std::nan(""), std::numeric_limits<double>::infinity(), 1.0}) {
    SCOPED_TRACE(bitScaling);
    controller.test.writeScalar<double>("/Configuration/bitScaling", bitScaling);
    controller.pulse();
    const auto expected = bitScaling == 1.0 ? DataValidity::ok : DataValidity::faulty;
    for(const char* output : {"amplitude", "phase", "Samples/amplitude", "Samples/phase",
            "Statistics/amplitudeAverage", "Statistics/phaseStandardDeviation"}) {
      EXPECT_EQ(controller.test.getValidity(vectorSum + output), expected) << output;
    }
    // raw values do not depend on the scale
    EXPECT_EQ(controller.test.getValidity(vectorSum + "Samples/I"), DataValidity::ok);
    EXPECT_EQ(controller.test.getValidity(vectorSum + "Statistics/IAverage"), DataValidity::ok);
  }
  EXPECT_EQ(controller.scalar(vectorSum + "Samples/amplitude"), 5.F);
}

TEST(ControllerChannel, FlattopIndicesOutsideThePulseGiveFaultyStatistics) {
  struct Case {
    std::uint32_t begin, end;
    float iAverage;
    DataValidity validity;
  };
  // I = 1 .. 8 over the pulse of 8 samples
  const std::uint32_t huge = std::numeric_limits<std::uint32_t>::max();
  for(auto c : {Case{2, 5, 4.5F, DataValidity::ok}, Case{6, 1000, 7.5F, DataValidity::faulty},
          Case{huge, huge, 8.F, DataValidity::faulty}, Case{0, huge, 4.5F, DataValidity::faulty}}) {
    SCOPED_TRACE(testing::Message() << c.begin << " to " << c.end);
    RunningController controller;
    controller.test.setScalarDefault<std::uint32_t>("/Configuration/flattopBeginIndex", c.begin);
    controller.test.setScalarDefault<std::uint32_t>("/Configuration/flattopEndIndex", c.end);
    controller.start();
    controller.setTraces("SetPoint", ramp(), constant(0.F));
    controller.pulse();
    EXPECT_EQ(controller.scalar(setPoint + "Statistics/IAverage"), c.iAverage);
    EXPECT_EQ(controller.scalar(setPoint + "Statistics/amplitudeAverage"), c.iAverage);
    for(const char* output : {"IAverage", "QAverage", "amplitudeAverage", "phaseStandardDeviation"}) {
      EXPECT_EQ(controller.test.getValidity(setPoint + "Statistics/" + output), c.validity) << output;
    }
  }
}

TEST(ControllerChannel, AnEndBeforeTheBeginTakesNoStatisticsForThatPulse) {
  RunningController controller;
  controller.start();
  controller.setTraces("SetPoint", ramp(), constant(0.F));
  controller.pulse();
  ASSERT_EQ(controller.scalar(setPoint + "Statistics/IAverage"), 4.5F);

  // an end before the begin: no wrapped count, the last statistics again, marked faulty
  controller.test.writeScalar<std::uint32_t>("/Configuration/flattopEndIndex", 1);
  controller.setTraces("SetPoint", constant(100.F), constant(0.F));
  const auto version = controller.pulse();
  EXPECT_EQ(controller.scalar(setPoint + "Statistics/IAverage"), 4.5F);
  EXPECT_EQ(controller.scalar(setPoint + "Statistics/amplitudeAverage"), 4.5F);
  EXPECT_EQ(controller.test.getValidity(setPoint + "Statistics/IAverage"), DataValidity::faulty);
  EXPECT_EQ(controller.test.getVersion(setPoint + "Statistics/IAverage"), version);
  // the traces and samples of the pulse are not affected
  EXPECT_EQ(controller.scalar(setPoint + "Samples/I"), 100.F);
  EXPECT_EQ(controller.test.getValidity(setPoint + "Samples/I"), DataValidity::ok);

  controller.test.writeScalar<std::uint32_t>("/Configuration/flattopEndIndex", 5);
  controller.pulse();
  EXPECT_EQ(controller.scalar(setPoint + "Statistics/IAverage"), 100.F);
  EXPECT_EQ(controller.test.getValidity(setPoint + "Statistics/IAverage"), DataValidity::ok);
}

TEST(ControllerChannel, AChannelWithoutAmplitudeAndPhasePublishesOnlyIAndQ) {
  RunningController controller;
  controller.start();
  controller.setTraces("Error", constant(3.F), constant(4.F));
  controller.pulse();
  EXPECT_EQ(controller.scalar(error + "Samples/I"), 3.F);
  EXPECT_EQ(controller.scalar(error + "Statistics/QAverage"), 4.F);
  for(const char* absent : {"amplitude", "phase", "Samples/amplitude", "Samples/phase",
          "Statistics/amplitudeAverage", "Statistics/phaseStandardDeviation"}) {
    EXPECT_FALSE(has(controller, error + absent)) << absent;
  }
  EXPECT_TRUE(has(controller, setPoint + "Statistics/phaseStandardDeviation"));
}

TEST(ControllerChannel, WithoutChannelStatisticsNoStatisticsExist) {
  Settings settings;
  settings.statistics = false;
  RunningController controller(settings);
  controller.start();
  controller.setTraces("SetPoint", constant(3.F), constant(4.F));
  controller.pulse();
  EXPECT_EQ(controller.scalar(setPoint + "Samples/amplitude"), 5.F);
  for(const char* absent : {"Statistics/IAverage", "Statistics/amplitudeAverage"}) {
    EXPECT_FALSE(has(controller, setPoint + absent)) << absent;
  }
}

TEST(ControllerChannel, TheSamplesFollowTheSamplingPositionAndTheChannelsOffset) {
  RunningController controller;
  controller.test.setScalarDefault<double>("/Configuration/samplingFrequency", 4.0);
  controller.test.setScalarDefault<double>(setPoint + "samplingOffset", -0.125); // round(-0.5) = -1 sample
  controller.start();
  controller.setTraces("SetPoint", ramp(), constant(0.F));
  controller.pulse();
  EXPECT_EQ(controller.scalar(setPoint + "Samples/I"), 2.F); // sample 2 - 1
  EXPECT_EQ(controller.scalar(setPoint + "Samples/amplitude"), 2.F);
  EXPECT_EQ(controller.scalar(vectorSum + "Samples/I"), 0.F); // the dummy's traces are zero there, index 2
}
