// The interlock detection on its own: when it trips, how a trip gates the controller's enables, the firmware
// latch switching and the reset pulse on the firmware's reset register.
#include "AutomationStation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace automationtest;

namespace {

  constexpr float nanAmplitude = std::numeric_limits<float>::quiet_NaN();

  /// A running detection with feed-forward requested on and handed to the controller.
  struct FeedForwardOn : RunningInterlock {
    FeedForwardOn() {
      start();
      write(interlock + "FeedForward/enable", Boolean(true));
      EXPECT_TRUE(read<Boolean>(feedForward));
    }

    void trip() {
      test.writeScalar<std::uint8_t>(latcher + "ilockLatchStatus", 2);
      write<float>(amplitude, 1.0F);
      ASSERT_TRUE(read<Boolean>(interlock + "interlockDetected"));
    }
    bool resetRegister() { return read<Boolean>(latcher + "ilockLatchReset"); }
  };

  TEST(InterlockDetection, TripsOnALowOrMissingAmplitudeWhileEnabledAndOnALatchedFirmwareStatus) {
    struct Case {
      bool enabled;
      double threshold;
      float amplitude;
      std::uint8_t latchStatus;
      bool trips;
    };
    const Case cases[] = {
        {true, 1.0, 1.0F, 0, false}, // equal to the threshold
        {true, 1.0, 0.99F, 0, true},
        {true, 1.0, nanAmplitude, 0, true}, // a broken measurement never hides an interlock
        {true, std::nan(""), 5.0F, 0, true},
        {true, 1.0, 2.0F, 1, false},
        {false, 1.0, 0.0F, 0, false}, // the amplitude counts only while enabled
        {false, 1.0, nanAmplitude, 1, false},
        {false, 1.0, 0.0F, 2, true}, // a latched firmware status counts always
        {false, 1.0, 2.0F, 255, true},
    };
    for(const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << "enabled " << c.enabled << ", threshold " << c.threshold << ", amplitude "
                                      << c.amplitude << ", status " << int(c.latchStatus));
      EXPECT_EQ(InterlockDetection::trips(c.enabled, c.threshold, c.amplitude, c.latchStatus), c.trips);

      FeedForwardOn detection;
      detection.test.writeScalar<Boolean>(interlock + "enable", Boolean(c.enabled));
      detection.test.writeScalar<double>(interlock + "threshold", c.threshold);
      detection.test.writeScalar<std::uint8_t>(latcher + "ilockLatchStatus", c.latchStatus);
      detection.write<float>(amplitude, c.amplitude);
      EXPECT_EQ(bool(detection.read<Boolean>(interlock + "interlockDetected")), c.trips);
      EXPECT_EQ(bool(detection.read<Boolean>(feedForward)), !c.trips);
      EXPECT_FALSE(detection.read<Boolean>(feedBack));
      if(c.trips || c.enabled) {
        EXPECT_EQ(detection.read<std::int32_t>(interlock + "interlockFirmwareStatus"), c.latchStatus);
      }
      EXPECT_EQ(bool(detection.read<Boolean>(latcher + "ilockLatchEnable")), c.enabled);
    }
  }

  TEST(InterlockDetection, RequestsWhileLatchedAreDroppedAndTheEnablesStayOffAfterTheReset) {
    FeedForwardOn detection;
    detection.trip();
    EXPECT_FALSE(detection.read<Boolean>(feedForward));
    detection.write(interlock + "FeedBack/enable", Boolean(true));
    EXPECT_FALSE(detection.read<Boolean>(feedBack));

    detection.test.writeScalar<std::uint8_t>(latcher + "ilockLatchStatus", 0);
    detection.write<std::int32_t>(interlock + "reset", 0);
    EXPECT_FALSE(detection.read<Boolean>(interlock + "interlockDetected"));
    EXPECT_FALSE(detection.read<Boolean>(feedForward));
    EXPECT_FALSE(detection.read<Boolean>(feedBack));
    detection.write(interlock + "FeedBack/enable", Boolean(true));
    EXPECT_TRUE(detection.read<Boolean>(feedBack));
  }

  TEST(InterlockDetection, AResetWhileTheFirmwareStillReportsTheInterlockLatchesAgain) {
    FeedForwardOn detection;
    detection.trip();
    detection.test.writeScalar<std::uint8_t>(latcher + "ilockLatchStatus", 3);
    const auto tripsBefore = detection.test.updateCount(interlock + "interlockDetected");
    detection.write<std::int32_t>(interlock + "reset", 0);
    // cleared and latched again in the same pass, the new status published
    EXPECT_EQ(detection.test.updateCount(interlock + "interlockDetected"), tripsBefore + 2);
    EXPECT_TRUE(detection.read<Boolean>(interlock + "interlockDetected"));
    EXPECT_EQ(detection.read<std::int32_t>(interlock + "interlockFirmwareStatus"), 3);
    EXPECT_TRUE(detection.resetRegister());
  }

  TEST(InterlockDetection, TheResetRegisterIsClearedAtTheSecondAmplitudeUpdateAfterTheRequest) {
    FeedForwardOn detection;
    detection.trip();
    detection.test.writeScalar<std::uint8_t>(latcher + "ilockLatchStatus", 0);
    EXPECT_FALSE(detection.resetRegister());
    detection.write<std::int32_t>(interlock + "reset", 0);
    EXPECT_TRUE(detection.resetRegister());
    detection.write<float>(amplitude, 1.0F);
    EXPECT_TRUE(detection.resetRegister());
    // other vector-sum values do not count
    detection.write<float>("/Controller/VectorSum/DAQ/Samples/phase", 1.0F);
    detection.write<float>("/Controller/VectorSum/DAQ/Statistics/amplitudeAverage", 1.0F);
    EXPECT_TRUE(detection.resetRegister());
    detection.write<float>(amplitude, 1.0F);
    EXPECT_FALSE(detection.resetRegister());
    EXPECT_FALSE(detection.read<Boolean>(interlock + "interlockDetected"));
  }

  TEST(InterlockDetection, SwitchingDetectionOnAndOffSwitchesTheFirmwareLatchAtTheNextUpdate) {
    FeedForwardOn detection;
    detection.test.writeScalar<std::uint8_t>(latcher + "ilockLatchStatus", 1);
    detection.test.writeScalar<Boolean>(interlock + "enable", Boolean(true));
    detection.test.writeScalar<double>(interlock + "threshold", 0.5);
    detection.test.stepApplication();
    EXPECT_FALSE(detection.read<Boolean>(latcher + "ilockLatchEnable"));
    detection.write<float>(amplitude, 1.0F);
    EXPECT_TRUE(detection.read<Boolean>(latcher + "ilockLatchEnable"));
    EXPECT_EQ(detection.read<std::int32_t>(interlock + "interlockFirmwareStatus"), 1);
    EXPECT_FALSE(detection.read<Boolean>(interlock + "interlockDetected"));

    detection.test.writeScalar<std::uint8_t>(latcher + "ilockLatchStatus", 0);
    detection.test.writeScalar<Boolean>(interlock + "enable", Boolean(false));
    detection.write<float>(amplitude, 0.0F);
    EXPECT_FALSE(detection.read<Boolean>(latcher + "ilockLatchEnable"));
    EXPECT_EQ(detection.read<std::int32_t>(interlock + "interlockFirmwareStatus"), 1);
    EXPECT_TRUE(detection.read<Boolean>(feedForward));
  }

} // namespace
