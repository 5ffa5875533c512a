// The correction algorithms on the plant model of the test: each takes out the drive-path error it is made for.
#include "OvcStation.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

  using namespace ovctest;
  using Corvane::Boolean;
  using Corvane::StatusOutput;

  TEST(OpenLoop, ScalingConvergesOnADriveTwentyPercentTooLow) {
    Station s;
    s.plant.pathGain = 0.8;
    s.run();
    s.enableAlgorithm("OpenLoop/Scaling", 0.5);
    s.pulses(30);
    EXPECT_NEAR(s.read(path::scale), 1.25, 1e-4);
    EXPECT_NEAR(s.read(path::algo("OpenLoop/Scaling") + "dAmplitude"), 0.0, 1e-4);
    EXPECT_EQ(s.status(), StatusOutput::OK);
  }

  TEST(OpenLoop, RotationConvergesOnATwentyDegreePhaseOffset) {
    Station s;
    s.plant.pathPhase = 20.0;
    s.plant.setPointPhase = 175.0; // the vector sum crosses +-180 deg on the way
    s.run();
    s.enableAlgorithm("OpenLoop/Rotation", 0.5);
    s.pulses(30);
    EXPECT_NEAR(s.read(path::angle), -20.0, 1e-3);
    EXPECT_DOUBLE_EQ(s.read(path::scale), 1.0);
  }

  TEST(OpenLoop, RatioFollowsTheDifferenceBetweenFlattopAndFilling) {
    Station s;
    s.plant.flattopRatio = 1.25;
    s.test.setScalarDefault<std::int32_t>(path::ovc + "OpenLoop/Scaling/AveragingWindow/offset", -12); // filling
    s.run();
    s.enableAlgorithm("OpenLoop/Ratio", 0.5);
    s.pulses(30);
    EXPECT_NEAR(s.read(path::ratio), 1.25, 1e-4);
    EXPECT_NEAR(s.read(path::manualRatio), s.read(path::ratio), 1e-12);
    EXPECT_DOUBLE_EQ(s.read(path::scale), 1.0);
  }

  TEST(OpenLoop, ClosedLoopOperationStopsTheOpenLoopAlgorithms) {
    Station s;
    s.plant.pathGain = 0.8;
    s.run();
    s.enableAlgorithm("OpenLoop/Scaling", 1.0);
    s.write<Boolean>("/Controller/FeedForward/Correction/enableLFF", true);
    s.pulses(3);
    EXPECT_DOUBLE_EQ(s.read(path::scale), 1.0);
    EXPECT_NEAR(s.read(path::algo("OpenLoop/Scaling") + "dAmplitude"), -0.25, 1e-6); // still averaged
  }

  struct ClosedLoopStation : Station {
    ClosedLoopStation() {
      plant.closedLoop = true;
      test.setScalarDefault<Boolean>(path::feedBack, true);
    }
  };

  TEST(ClosedLoop, ScalingAndRotationTakeOutLoopGainAndPhaseErrors) {
    ClosedLoopStation s;
    s.plant.pathGain = 0.8;
    s.plant.pathPhase = 20.0;
    s.run();
    s.enableAlgorithm("ClosedLoop/Scaling", 0.5);
    s.enableAlgorithm("ClosedLoop/Rotation", 0.5);
    s.pulses(40);
    EXPECT_NEAR(s.read(path::scale), 1.25, 1e-4);
    EXPECT_NEAR(s.read(path::angle), -20.0, 1e-3);
    EXPECT_NEAR(s.read(path::algo("ClosedLoop/Scaling") + "currentScaling"), 1.0, 1e-4);
  }

  TEST(ClosedLoop, ScalingWaitsForADisabledRotationWhileThePhaseErrorIsLarge) {
    ClosedLoopStation s;
    s.plant.pathGain = 0.8;
    s.plant.pathPhase = 20.0;
    s.test.setScalarDefault<double>(path::algo("ClosedLoop/Scaling") + "maxLoopPhaseError", 5.0);
    s.run();
    s.enableAlgorithm("ClosedLoop/Scaling", 0.5);
    s.pulses(3);
    EXPECT_DOUBLE_EQ(s.read(path::scale), 1.0);
    EXPECT_EQ(s.message(), "ScalingAlgo waiting for disabled RotationAlgo.");
  }

  TEST(ClosedLoop, RatioConvergesOnTheFlattopDriveTheCavityNeeds) {
    ClosedLoopStation s;
    s.plant.flattopRatio = 1.25;
    s.run();
    s.enableAlgorithm("ClosedLoop/Ratio", 0.5);
    s.pulses(30);
    EXPECT_NEAR(s.read(path::ratio), 1.25, 1e-4);
  }

  TEST(ClosedLoop, AnAllZeroFeedForwardTableLeavesTheRatioAlone) {
    ClosedLoopStation s;
    s.plant.setPointAmplitude = 0.0;
    s.run();
    s.write<double>(path::manualRatio, 1.1);
    s.enableAlgorithm("ClosedLoop/Ratio", 1.0);
    s.pulses(2);
    EXPECT_DOUBLE_EQ(s.read(path::algo("ClosedLoop/Ratio") + "ffAmplitudeMaximum"), 0.0);
    EXPECT_EQ(s.status(), StatusOutput::WARNING);
    EXPECT_EQ(s.message(), "ClosedLoop::RatioAlgo::ffAmplitudeMaximum is 0, ratio not corrected");
    EXPECT_DOUBLE_EQ(s.read(path::ratio), 1.1);
  }

  TEST(ClosedLoop, ForwardAlgorithmNeedsAReferenceAndHoldsTheAmplificationThere) {
    ClosedLoopStation s;
    s.run();
    s.enableAlgorithm("ClosedLoop/Forward", 0.5);
    s.pulse();
    EXPECT_EQ(s.message(), "Error: store reference point first!");
    EXPECT_DOUBLE_EQ(s.read(path::scale), 1.0);
    s.write<std::int32_t>(path::algo("ClosedLoop/Forward") + "ReferencePoint/store", 1);
    const double reference = s.read(path::algo("ClosedLoop/Forward") + "ReferencePoint/amplification");
    EXPECT_NEAR(reference, 1.0, 1e-5); // forward 1e-4 G.U. per digit times bitScaling 1e4
    s.pulse();
    EXPECT_NEAR(s.read(path::algo("ClosedLoop/Forward") + "delta"), 0.0, 1e-6);
    EXPECT_NEAR(s.read(path::scale), 1.0, 1e-6);

    // the path from the modulator to the forward signal gains 2 % and turns by 4 deg: scale and angle bring the
    // amplification back to the reference point
    s.plant.pathGain = 1.02;
    s.plant.pathPhase = 4.0;
    s.pulses(40);
    EXPECT_NEAR(s.read(path::scale) * 1.02, 1.0, 1e-4);
    EXPECT_NEAR(s.read(path::angle), 4.0, 1e-3);
    EXPECT_NEAR(s.read(path::algo("ClosedLoop/Forward") + "delta"), 0.0, 1e-4);
    EXPECT_EQ(s.status(), StatusOutput::OK);
  }

  // The forward algorithm measures the drive without the modulator's DAC offsets and Q inversion.
  TEST(ClosedLoop, ForwardAmplificationIgnoresTheModulatorOffsetsAndQSign) {
    for(bool qSign : {false, true}) {
      ClosedLoopStation s;
      s.plant.setPointPhase = 30.0;
      s.plant.dacOffsetI = 100;
      s.plant.dacOffsetQ = -50;
      s.plant.qSign = qSign;
      s.run();
      s.pulse();
      EXPECT_NEAR(s.read(path::algo("ClosedLoop/Forward") + "amplification"), 1.0, 1e-5) << qSign;
      EXPECT_NEAR(s.read(path::algo("ClosedLoop/Forward") + "phaseDifference"), 0.0, 1e-3) << qSign;
    }
  }

  TEST(ClosedLoop, AutoStoreTakesTheReferenceWhenTheLoopCloses) {
    Station s;
    s.test.setScalarDefault<std::int32_t>(path::algo("ClosedLoop/Forward") + "ReferencePoint/autoStore", 1);
    s.run();
    s.pulse(); // open loop: the forward average is formed anyway
    EXPECT_DOUBLE_EQ(s.read(path::algo("ClosedLoop/Forward") + "ReferencePoint/amplification"), 0.0);
    s.plant.closedLoop = true;
    s.test.writeScalar<Boolean>(path::feedBack, true); // seen with the next update
    s.pulse();
    EXPECT_NEAR(s.read(path::algo("ClosedLoop/Forward") + "ReferencePoint/amplification"), 1.0, 1e-5);
  }

} // namespace
