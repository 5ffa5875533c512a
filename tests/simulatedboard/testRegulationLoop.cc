// One sample of the simulated board's regulation loop: index, error, limited proportional term,
// drive bound and conversion, the zero-drive checks and the attenuator scale.
#include "RegulationLoop.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using RegulationLoop::Settings;
using RegulationLoop::State;

namespace {
  Settings identityOutput() {
    Settings settings;
    settings.driveGain = 5.0;
    settings.outputRotationRe = 1.0;
    return settings;
  }
} // namespace

TEST(RegulationLoop, IndexCountsThroughThePulseAndRestartsOnlyAtATrigger) {
  struct Case {
    std::int32_t previous;
    bool atTrigger;
    std::int32_t index;
    bool active;
  };
  for(const auto& c : {Case{0, false, 1, true}, Case{16382, false, 16383, true}, Case{16382, true, 16383, true},
          Case{16383, false, 16383, false}, Case{16383, true, 0, true}}) {
    State next;
    RegulationLoop::advanceIndex(c.previous, c.atTrigger, next);
    EXPECT_EQ(next.sampleIndex, c.index) << c.previous << " " << c.atTrigger;
    EXPECT_EQ(next.active, c.active) << c.previous << " " << c.atTrigger;
  }
}

TEST(RegulationLoop, BothLoopsOffDriveTheDacOffsetThroughGainAttenuationAndRotation) {
  Settings settings = identityOutput();
  settings.dacOffsetI = 100.0;
  settings.dacOffsetQ = -20.0;
  settings.driveAttenuationFactor = RegulationLoop::attenuationFactor(10.0);
  settings.outputRotationRe = 0.0; // a quarter turn
  settings.outputRotationIm = 1.0;
  State previous, next;
  next.setpointI = 1000.0;
  next.feedForwardI = 4000.0;
  RegulationLoop::computeDrive(previous, next, 1.0, settings);
  EXPECT_DOUBLE_EQ(next.driveI, 20.0 * 5.0 / 10.0);
  EXPECT_DOUBLE_EQ(next.driveQ, 100.0 * 5.0 / 10.0);
  EXPECT_EQ(next.proportionalI, 0.0);
}

TEST(RegulationLoop, TableIndexHoldsTheLastEntryPlayed) {
  struct Case {
    std::int32_t sample;
    std::size_t tableLength, entry;
  };
  for(const auto& c : {Case{0, 16384, 0}, Case{16383, 16384, 16383}, Case{2047, 2048, 2047}, Case{2048, 2048, 2047},
          Case{16383, 2048, 2047}, Case{0, 2048, 0}, Case{700, 1, 0}, Case{700, 0, 0}, Case{-1, 2048, 0}}) {
    EXPECT_EQ(RegulationLoop::tableIndex(c.sample, c.tableLength), c.entry) << c.sample << " of " << c.tableLength;
  }
}

TEST(RegulationLoop, VectorModulatorOffsetsAddToTheDriveAndTheDacOffsetCancelsThem) {
  struct Case {
    double dacOffsetI, dacOffsetQ, driveI, driveQ;
  };
  // offsets of the vector modulator 300 and -200: leakage with both loops off, cancelled by the opposite DAC offsets
  for(const auto& c : {Case{0.0, 0.0, 1500.0, -1000.0}, Case{-300.0, 200.0, 0.0, 0.0}, Case{-100.0, 0.0, 1000.0, -1000.0}}) {
    Settings settings = identityOutput();
    settings.vmOffsetI = 300.0;
    settings.vmOffsetQ = -200.0;
    settings.dacOffsetI = c.dacOffsetI;
    settings.dacOffsetQ = c.dacOffsetQ;
    State previous, next;
    RegulationLoop::computeDrive(previous, next, 1.0, settings);
    EXPECT_DOUBLE_EQ(next.driveI, c.driveI) << c.dacOffsetI;
    EXPECT_DOUBLE_EQ(next.driveQ, c.driveQ) << c.dacOffsetQ;
  }
}

TEST(RegulationLoop, ProportionalTermIsLimitedByTheLimitsMagnitude) {
  struct Case {
    double setpoint, limit, expected;
  };
  for(const auto& c : {Case{1000.0, 500.0, 500.0}, Case{-1000.0, 500.0, -500.0}, Case{1000.0, -500.0, 500.0},
          Case{-1000.0, -500.0, -500.0}, Case{300.0, 500.0, 300.0}}) {
    Settings settings = identityOutput();
    settings.feedbackEnabled = true;
    settings.limitI = c.limit;
    settings.limitQ = c.limit;
    State previous, next;
    next.gainI = next.gainQ = 1.0;
    next.setpointI = next.setpointQ = c.setpoint;
    RegulationLoop::computeDrive(previous, next, 1.0, settings);
    EXPECT_EQ(next.proportionalI, c.expected) << c.setpoint << " " << c.limit;
    EXPECT_EQ(next.proportionalQ, c.expected) << c.setpoint << " " << c.limit;
    EXPECT_EQ(next.driveI, 5.0 * c.expected);
  }
}

TEST(RegulationLoop, ErrorUsesThePreviousVectorSumAndTheIntegralTheElapsedSamples) {
  Settings settings = identityOutput();
  settings.integratorEnabled = true;
  State previous, next;
  previous.vectorSumI = 30.0;
  previous.vectorSumQ = -10.0;
  previous.integralI = 1.0;
  next.setpointI = 100.0;
  RegulationLoop::computeDrive(previous, next, 2.5, settings);
  EXPECT_EQ(next.errorI, 70.0);
  EXPECT_EQ(next.errorQ, 10.0);
  EXPECT_EQ(next.integralI, 1.0 + 70.0 * 2.5);
  EXPECT_EQ(next.integralQ, 25.0);
}

TEST(RegulationLoop, DriveIsBoundedBeforeTheDacOffsetAndNaNBecomesZero) {
  Settings settings = identityOutput();
  settings.feedForwardEnabled = true;
  settings.dacOffsetI = 10.0;
  State previous, next;
  next.feedForwardI = 200000.0;
  next.feedForwardQ = std::numeric_limits<double>::quiet_NaN();
  RegulationLoop::computeDrive(previous, next, 1.0, settings);
  EXPECT_EQ(next.driveI, (131072.0 + 10.0) * 5.0);
  EXPECT_EQ(next.driveQ, 0.0);
}

TEST(RegulationLoop, ZeroDriveChecksFireOnlyForAPositiveFeedForwardTable) {
  struct Case {
    double feedForward, rotationRe;
    bool a, b, c;
  };
  // the proportional term (gain 1, set point -f, vector sum 0) cancels the feed-forward exactly
  for(const auto& c : {Case{500.0, 1.0, true, false, false}, Case{500.0, 0.0, true, true, true},
          Case{-500.0, 0.0, false, false, false}}) {
    Settings settings = identityOutput();
    settings.feedForwardEnabled = true;
    settings.feedbackEnabled = true;
    settings.limitI = settings.limitQ = 1e6;
    settings.dacOffsetI = 1.0; // keeps B and C apart from A
    settings.outputRotationRe = c.rotationRe;
    State previous, next;
    next.feedForwardI = c.feedForward;
    next.gainI = 1.0;
    next.setpointI = -c.feedForward;
    const auto checks = RegulationLoop::computeDrive(previous, next, 1.0, settings);
    EXPECT_EQ(checks.a, c.a) << c.feedForward << " " << c.rotationRe;
    EXPECT_EQ(checks.b, c.b) << c.feedForward << " " << c.rotationRe;
    EXPECT_EQ(checks.c, c.c) << c.feedForward << " " << c.rotationRe;
  }
}

TEST(RegulationLoop, DetectionDividesByTheAttenuationThenRotates) {
  const auto iq = RegulationLoop::detect({10.0, 0.0}, RegulationLoop::attenuationFactor(10.0), 0.0, 1.0);
  EXPECT_NEAR(iq.i, 0.0, 1e-15);
  EXPECT_DOUBLE_EQ(iq.q, 1.0);
}

TEST(RegulationLoop, AttenuatorValueGivesDecibelsWithinItsRange) {
  struct Case {
    double value, step, db;
  };
  for(const auto& c : {Case{63.0, 0.5, 0.0}, Case{0.0, 0.5, 31.5}, Case{0.0, 0.25, 15.75}, Case{70.0, 0.5, 0.0},
          Case{-4.0, 0.5, 31.5}, Case{33.0, 0.5, 15.0}, Case{std::numeric_limits<double>::quiet_NaN(), 0.25, 15.75}}) {
    EXPECT_EQ(RegulationLoop::attenuationFromRegister(c.value, c.step), c.db) << c.value << " " << c.step;
  }
}
