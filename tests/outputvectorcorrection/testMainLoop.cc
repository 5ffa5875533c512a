// The output vector correction's cycle: consistent triggers integrated, the controller status inhibiting them,
// the averaging cycle, the module's own checks, and the averaging windows as the module publishes them.
#include "OvcStation.h"

#include <gtest/gtest.h>

namespace {

  using namespace ovctest;
  using Corvane::Boolean;
  using Corvane::StatusOutput;

  TEST(MainLoop, ABadControllerStatusDisablesThatTriggerAndTheNext) {
    Station s;
    s.plant.pathGain = 0.8;
    s.run();
    s.enableAlgorithm("OpenLoop/Scaling", 1.0);
    s.test.writeScalar<std::uint32_t>(path::inhibitMask, 0x1);
    s.test.writeScalar<std::uint32_t>(path::controllerStatus, 0x3); // bit 1 not masked
    s.pulse();
    EXPECT_EQ(s.status(), StatusOutput::OFF);
    EXPECT_EQ(s.message(), "Disabled due to controller status");
    s.test.writeScalar<std::uint32_t>(path::controllerStatus, 0x1); // only masked bits
    s.pulse();
    EXPECT_EQ(s.message(), "Disabled due to controller status");
    EXPECT_DOUBLE_EQ(s.read(path::scale), 1.0);
    s.pulse();
    EXPECT_EQ(s.status(), StatusOutput::OK);
    EXPECT_NEAR(s.read(path::scale), 1.25, 1e-6);
  }

  TEST(MainLoop, CorrectsOnEveryNthIntegratedTrigger) {
    Station s;
    s.plant.pathGain = 0.8;
    s.test.setScalarDefault<std::uint32_t>(path::ovc + "nAveragedTriggers", 3);
    s.run();
    s.enableAlgorithm("OpenLoop/Scaling", 1.0);
    s.pulses(2);
    EXPECT_DOUBLE_EQ(s.read(path::scale), 1.0);
    s.test.writeScalar<std::uint32_t>(path::controllerStatus, 0x4);
    s.pulse(); // inhibited
    s.test.writeScalar<std::uint32_t>(path::controllerStatus, 0);
    s.pulse(); // skipped after the inhibit
    EXPECT_DOUBLE_EQ(s.read(path::scale), 1.0);
    s.pulse(); // third integrated trigger
    EXPECT_NEAR(s.read(path::scale), 1.25, 1e-6);
  }

  TEST(MainLoop, DisabledModuleAveragesButCorrectsNothing) {
    Station s;
    s.plant.pathGain = 0.8;
    s.test.setScalarDefault<Boolean>(path::ovc + "enable", false);
    s.run();
    s.enableAlgorithm("OpenLoop/Scaling", 1.0);
    s.pulses(2);
    EXPECT_EQ(s.message(), "Disabled");
    EXPECT_EQ(s.status(), StatusOutput::OFF);
    EXPECT_DOUBLE_EQ(s.read(path::scale), 1.0);
    EXPECT_NEAR(s.read(path::algo("OpenLoop/Scaling") + "dAmplitude"), -0.25, 1e-6);
    EXPECT_EQ(s.logged("OVC: Disabled"), 1u); // logged once, not on every cycle
  }

  TEST(MainLoop, LowVectorSumAmplitudeStopsTheCorrection) {
    Station s;
    s.plant.pathGain = 0.8;
    s.test.setScalarDefault<double>(path::ovc + "Threshold/amplitude", 1.0); // 1e4 / 4 digits
    s.plant.setPointAmplitude = 2000.0;                                       // vector sum 1600 digits
    s.run();
    s.enableAlgorithm("OpenLoop/Scaling", 1.0);
    s.pulse();
    EXPECT_EQ(s.message(), "OVC: Disabled due to low vector sum amplitude in scaling window");
    EXPECT_DOUBLE_EQ(s.read(path::scale), 1.0);
  }

  // 2^33 digits per gradient unit make a threshold of 1000 G.U. about 0.001 digits: no obstacle.
  TEST(MainLoop, AVectorSumShiftOfMoreThan31BitsScalesTheThreshold) {
    Station s;
    s.plant.pathGain = 0.8;
    s.test.setScalarDefault<std::uint8_t>("/Configuration/vectorSumBitShift", 33);
    s.test.setScalarDefault<double>(path::ovc + "Threshold/amplitude", 1000.0);
    s.run();
    s.enableAlgorithm("OpenLoop/Scaling", 1.0);
    s.pulse();
    EXPECT_NEAR(s.read(path::scale), 1.25, 1e-6);
    EXPECT_EQ(s.status(), StatusOutput::OK);
  }

  TEST(MainLoop, AZeroVectorSumChangesNothingAndIsReported) {
    Station s;
    s.plant.pathGain = 0.0;
    s.run();
    s.enableAlgorithm("OpenLoop/Scaling", 1.0);
    s.pulse();
    EXPECT_EQ(s.message(), "Scaling dAmplitude is infinite");
    EXPECT_EQ(s.status(), StatusOutput::WARNING);
    EXPECT_DOUBLE_EQ(s.read(path::scale), 1.0);
  }

  TEST(MainLoop, ACorrectionBeyondTheLimitIsClampedWithAWarning) {
    Station s;
    s.plant.pathGain = 0.4; // needs scale 2.5
    s.run();
    s.enableAlgorithm("OpenLoop/Scaling", 1.0);
    s.pulse();
    EXPECT_DOUBLE_EQ(s.read(path::scale), 2.0);
    EXPECT_DOUBLE_EQ(s.read(path::manualScale), 2.0);
    EXPECT_EQ(s.message(), "OVC reached limit");
  }

  TEST(MainLoop, ATooLowSamplingFrequencyEndsTheModule) {
    Station s;
    s.test.setScalarDefault<double>(path::samplingFrequency, 0.005);
    s.test.setScalarDefault<double>(path::manualScale, 0.7);
    s.run();
    EXPECT_EQ(s.status(), StatusOutput::OFF);
    EXPECT_EQ(s.message(), "Sampling frequency has not been set properly! OVC permanently disabled.");
    EXPECT_DOUBLE_EQ(s.read(path::scale), 0.0); // the manual scale was not copied
  }

  TEST(MainLoop, AMasterAddsTheLatestSlaveShareToEverySetOfItsTraces) {
    Station s;
    s.master = false; // no slave crate yet: nothing feeds its forward share
    s.plant.pathGain = 0.8;
    s.run();
    s.enableAlgorithm("OpenLoop/Scaling", 1.0);
    s.pulse();
    EXPECT_NEAR(s.read(path::scale), 1.25, 1e-6);
    EXPECT_EQ(s.status(), StatusOutput::OK);

    // a share written with the traces of a pulse is used with them
    s.master = true;
    s.plant.pathGain = 0.625;
    s.pulse();
    EXPECT_NEAR(s.read(path::scale), 1.6, 1e-6);

    // pulses without a new share (the share over the control system carries versions of its own, never those
    // of the station's traces) are still corrected, with the latest share
    s.master = false;
    s.plant.pathGain = 1.6;
    s.pulse();
    EXPECT_NEAR(s.read(path::scale), 0.625, 1e-6);
    s.test.writeArray<double>("/ForwardVectorSum/FromSlave/I", std::vector<double>(pulseLength, 0.0));
    s.test.stepApplication();
    s.plant.pathGain = 0.5;
    s.pulse();
    EXPECT_NEAR(s.read(path::scale), 2.0, 1e-6);
    EXPECT_EQ(s.status(), StatusOutput::OK);
  }

  TEST(MainLoop, SlaveAndMonitoringInstancesHaveNoCorrection) {
    for(std::int32_t type : {2, 4}) {
      Station s(type);
      EXPECT_TRUE(s.app.ovc.isDisabled()) << type;
    }
    Station other(3);
    EXPECT_FALSE(other.app.ovc.isDisabled());
    EXPECT_FALSE(other.app.ovc.isMaster);
    EXPECT_FALSE(other.app.ovc.forwardVectorSum.fromSlave.hasOwner());
  }

  TEST(AveragingWindows, PublishTheFlattopWindowAndRejectAChangeOutOfRange) {
    Station s;
    s.run();
    const std::string w = path::ovc + "OpenLoop/Scaling/AveragingWindow/";
    EXPECT_EQ(s.test.readScalar<std::uint32_t>(w + "startIndex"), 30u);
    EXPECT_EQ(s.test.readScalar<std::uint32_t>(w + "endIndex"), 37u);
    s.write<std::int32_t>(w + "offset", 15); // 45 .. 52, past the last usable sample 47
    EXPECT_EQ(s.test.readScalar<std::int32_t>(w + "offset"), 0);
    EXPECT_EQ(s.message(), "OVC window out of range: end past maximum, change rejected.");
    EXPECT_EQ(s.test.readScalar<std::uint32_t>(w + "endIndex"), 37u);
    s.write<std::int32_t>(w + "fromFlattopEnd", 1); // 47 .. 54
    EXPECT_EQ(s.test.readScalar<std::uint32_t>(w + "startIndex"), 47u);
    EXPECT_EQ(s.test.readScalar<std::uint32_t>(w + "endIndex"), 54u);
  }

  // A flat-top whose last usable sample is the pulse length (64) itself: a window may not end there.
  TEST(AveragingWindows, NoWindowEndsOnThePulseLength) {
    Station s;
    s.test.setScalarDefault<double>(path::flattopDuration, 37.0); // flat-top end 67, last usable 64
    s.run();
    const std::string w = path::ovc + "OpenLoop/Rotation/AveragingWindow/";
    s.write<std::int32_t>(w + "offset", 26); // 56 .. 63
    EXPECT_EQ(s.test.readScalar<std::uint32_t>(w + "endIndex"), 63u);
    s.write<std::int32_t>(w + "offset", 27); // would end on sample 64
    EXPECT_EQ(s.test.readScalar<std::int32_t>(w + "offset"), 26);
    EXPECT_EQ(s.test.readScalar<std::uint32_t>(w + "endIndex"), 63u);
    EXPECT_EQ(s.message(), "OVC window out of range: end past maximum, change rejected.");
  }

  TEST(AveragingWindows, AnInvalidPulseShapeDropsTheTriggers) {
    Station s;
    s.plant.pathGain = 0.8;
    s.run();
    s.enableAlgorithm("OpenLoop/Scaling", 1.0);
    s.write<double>(path::flattopDuration, 2.0);
    EXPECT_EQ(s.message(), "Flattop configuration from controller configuration invalid.");
    s.pulse();
    EXPECT_DOUBLE_EQ(s.read(path::scale), 1.0);
    s.write<double>(path::flattopDuration, 20.0);
    s.pulse();
    EXPECT_NEAR(s.read(path::scale), 1.25, 1e-6);
  }

  TEST(AveragingWindows, ALengthOfZeroBecomesOne) {
    Station s;
    s.run();
    const std::string w = path::ovc + "ClosedLoop/Forward/AveragingWindow/";
    s.write<std::uint32_t>(w + "length", 0);
    EXPECT_EQ(s.test.readScalar<std::uint32_t>(w + "length"), 1u);
    EXPECT_EQ(s.test.readScalar<std::uint32_t>(w + "endIndex"), s.test.readScalar<std::uint32_t>(w + "startIndex"));
  }

} // namespace
