// The simulated board in a small application with a raw register map: test trigger, DAQ
// buffers, the table take-over at a trigger, attenuator writes, register checks, the cavity
// in the loop with feed-forward and feedback, and applications built one after another.
#include "BoardApplication.h"

#include <Corvane/LogCapture.h>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <numeric>

using simulatedboard::BoardTest;

namespace {

  constexpr std::int64_t boardTriggerPeriod = 100'000'000'000;

  double mean(const std::vector<double>& values, std::size_t from, std::size_t to) {
    return std::accumulate(values.begin() + static_cast<std::ptrdiff_t>(from),
               values.begin() + static_cast<std::ptrdiff_t>(to), 0.0) /
        static_cast<double>(to - from);
  }

  /// Every input detected without rotation (cosine 1 at elements 0, 6, ..., 42).
  void detectWithoutRotation(BoardTest& t) {
    std::vector<double> cosine(48, 0.0);
    for(std::size_t i = 0; i < 8; ++i) cosine[6 * i] = 1.0;
    t.set<double>("FD.WORD_IQ_COS", cosine);
  }

} // namespace

TEST(SimulatedBoard, RightAfterConstructionHoldsVersionClockAndOneState) {
  BoardTest t;
  auto board = t.board();
  ASSERT_TRUE(board);
  EXPECT_EQ(board->getRegister<std::uint32_t>("BSP.WORD_VERSION").at(0), 16909312U);
  EXPECT_EQ(board->getRegister<double>("BSP.WORD_CLK_FREQ").at(0), 65000000.0);
  std::lock_guard lock(board->mutex());
  EXPECT_EQ(board->getStateVariables().size(), 1U);
  EXPECT_EQ(board->getStateVariables().getLatestState().sampleIndex, 0);
  EXPECT_TRUE(board->getStateVariables().getLatestState().active);
  EXPECT_EQ(board->timers().getRemaining("trigger"), boardTriggerPeriod);
  for(std::size_t i = 0; i < 9; ++i) EXPECT_EQ(board->getAttenuation(i), 0.0);
}

TEST(SimulatedBoard, TestTriggerAdvancesTheTriggerNumberAndFillsTheDaqBuffers) {
  BoardTest t;
  EXPECT_EQ(t.test.readScalar<std::int64_t>("/Server/triggerNumber"), 0);
  EXPECT_EQ(t.test.readScalar<double>("/Model/simulatedQl"), 3e6);
  EXPECT_EQ(t.test.readScalar<double>("/Model/simulatedImpedance"), 100.0);

  // drive = DAC offset x 5; input 7 measures it and alone makes the vector sum
  t.set<std::int32_t>("OUTPUT.WORD_DAC_OFFSET", {100, -40});
  t.set<double>("OVC.WORD_ROT_RE", {1.0});
  t.set<double>("CTRL.WORD_VS_ROT_RE", {1.0});
  t.set<std::int32_t>("FD.WORD_VS_CH_ENA", {0x80});
  detectWithoutRotation(t);

  for(std::int64_t pulse = 1; pulse <= 3; ++pulse) {
    t.trigger();
    EXPECT_EQ(t.test.readScalar<std::int64_t>("/Server/triggerNumber"), pulse);
  }
  {
    auto board = t.board();
    std::lock_guard lock(board->mutex());
    EXPECT_EQ(board->timers().getCurrentTime(), 3 * boardTriggerPeriod);
  }
  // pulse 2 is complete in the buffers (its sample 0 overwritten by pulse 3's, the same values)
  const auto driveI = t.daq("APP.DAQ0_BUF0", 12), driveQ = t.daq("APP.DAQ0_BUF0", 13);
  const auto sumI = t.daq("APP.DAQ0_BUF0", 0);
  const auto driveAmplitude = t.daq("APP.DAQ1_BUF0", 14), constantPhase = t.daq("APP.DAQ1_BUF0", 13);
  const auto constantAmplitude = t.daq("APP.DAQ1_BUF0", 12);
  for(std::size_t n = 0; n < SISLDummy::nSamples; n += 1021) {
    EXPECT_EQ(driveI[n], 500.0) << n;
    EXPECT_EQ(driveQ[n], -200.0) << n;
    EXPECT_EQ(sumI[n], 500.0) << n;
    EXPECT_NEAR(driveAmplitude[n], std::hypot(500.0, 200.0), 1e-3) << n;
    EXPECT_NEAR(constantAmplitude[n], std::hypot(1000.0, 2000.0), 1e-3) << n;
    EXPECT_NEAR(constantPhase[n], std::atan2(2000.0, 1000.0) / std::numbers::pi * 131072.0, 1e-2) << n;
  }
  EXPECT_EQ(driveI.back(), 500.0);

  // the device module read the buffers on the trigger: the application sees them too
  const auto published = t.test.readArray<double>("/APP/DAQ0_BUF0");
  ASSERT_EQ(published.size(), 14 * SISLDummy::nSamples);
  EXPECT_EQ(published[12 * SISLDummy::nSamples + 100], 500.0);
}

TEST(SimulatedBoard, TriggerOnlyTakesOverTheTablesWhoseBufferBitsDiffer) {
  BoardTest t;
  std::vector<std::int32_t> ramp(SISLDummy::nSamples);
  std::iota(ramp.begin(), ramp.end(), 0);
  t.set<std::int32_t>("CTABLES.AREA_FF_I", ramp);
  t.setAll<std::int32_t>("CTABLES.AREA_FF_Q", 7);
  t.setAll<std::int32_t>("CTABLES.AREA_SP_I", 1000);
  t.setAll<double>("CTABLES.AREA_GP_I", 0.5);
  t.setAll<double>("CTABLES.AREA_GP_Q", 0.25);
  t.set<std::uint32_t>("CTABLES.BIT_CTL_TABLES_BUF", {0x301});
  for(int k = 0; k < 3; ++k) t.trigger();

  EXPECT_EQ(t.board()->getRegister<std::uint32_t>("CTABLES.BIT_CTL_TABLES_BUF_ACTUAL").at(0), 0x301U);
  const auto ffI = t.daq("APP.DAQ0_BUF0", 10), ffQ = t.daq("APP.DAQ0_BUF0", 11);
  const auto gainI = t.daq("APP.DAQ0_BUF0", 6), gainQ = t.daq("APP.DAQ0_BUF0", 7);
  const auto errorI = t.daq("APP.DAQ0_BUF0", 4);
  for(std::size_t n = 1; n < SISLDummy::nSamples; n += 997) {
    EXPECT_EQ(ffI[n], static_cast<double>(n)) << n;
    EXPECT_EQ(ffQ[n], 0.0) << n;     // bit 1 unchanged: not taken over
    EXPECT_EQ(gainI[n], 0.5) << n;
    EXPECT_EQ(gainQ[n], 0.25) << n;
    EXPECT_EQ(errorI[n], 0.0) << n; // set point (bit 4) not taken over, no vector sum
  }

  // equal select and read-back: nothing is copied; then the set point's bit alone differs
  t.setAll<std::int32_t>("CTABLES.AREA_FF_I", -5);
  t.trigger();
  t.trigger();
  EXPECT_EQ(t.daq("APP.DAQ0_BUF0", 10)[100], 100.0);
  t.set<std::uint32_t>("CTABLES.BIT_CTL_TABLES_BUF", {0x311});
  t.trigger();
  t.trigger();
  EXPECT_EQ(t.daq("APP.DAQ0_BUF0", 4)[100], 1000.0);
  EXPECT_EQ(t.daq("APP.DAQ0_BUF0", 2)[100], 1000.0); // the set point in force beside the vector sum
  EXPECT_EQ(t.daq("APP.DAQ0_BUF0", 3)[100], 0.0);
  EXPECT_EQ(t.daq("APP.DAQ0_BUF0", 10)[100], 100.0);
}

TEST(SimulatedBoard, AttenuatorValueWritesSetTheSelectedAttenuations) {
  BoardTest t;
  auto board = t.board();
  const auto& select = board->getRegisterMap().getRegister("KXF5QN2.WORD_ATT_SEL");
  const auto& value = board->getRegisterMap().getRegister("KXF5QN2.WORD_ATT_VAL");
  auto write = [&](const Corvane::RegisterInfo& info, std::int32_t word) {
    board->write(info.bar, info.address, &word, 4);
  };
  write(select, 0x3 | 0x100 | 0x200); // inputs 0 and 1, the drive; bit 9 is ignored
  write(value, 0);
  {
    std::lock_guard lock(board->mutex());
    EXPECT_EQ(board->getAttenuation(0), 31.5);
    EXPECT_EQ(board->getAttenuation(1), 31.5);
    EXPECT_EQ(board->getAttenuation(2), 0.0);
    EXPECT_EQ(board->getAttenuation(8), 15.75);
  }
  write(select, 0x4);
  {
    std::lock_guard lock(board->mutex());
    EXPECT_EQ(board->getAttenuation(2), 0.0); // the select alone changes nothing
  }
  write(value, 33);
  // a write that covers the value and its neighbour raises no event
  const std::int32_t both[2] = {0x1, 63};
  board->write(select.bar, select.address, both, 8);
  std::lock_guard lock(board->mutex());
  EXPECT_EQ(board->getAttenuation(2), 15.0);
  EXPECT_EQ(board->getAttenuation(0), 31.5);
}

TEST(SimulatedBoard, FeedForwardDrivesTheCavityToItsSteadyStateFieldPulseAfterPulse) {
  BoardTest t;
  detectWithoutRotation(t);
  t.set<double>("OVC.WORD_ROT_RE", {1.0});
  t.set<std::int32_t>("CTRL.BIT_FF_ENA", {1});
  t.setAll<std::int32_t>("CTABLES.AREA_FF_I", 1000);
  t.set<std::uint32_t>("CTABLES.BIT_CTL_TABLES_BUF", {0x1});
  // drive 5 x 1000, forward 100 x drive, cavity field twice the forward signal
  const double forward = 100.0 * 5.0 * 1000.0;
  for(double ql : {3e6, 1e4}) {
    t.test.writeScalar<double>("/Model/simulatedQl", ql);
    for(int pulse = 0; pulse < 100; ++pulse) {
      t.trigger();
      if(ql == 3e6 && pulse < 3) continue; // the cavity starts at 0.2 s
      const auto cavity = t.daq("APP.DAQ1_BUF0", 4), forwardAmplitude = t.daq("APP.DAQ1_BUF0", 0);
      const auto reflected = t.daq("APP.DAQ1_BUF0", 2);
      // the last sample lies 12 time constants into the pulse at QL 3e6
      ASSERT_NEAR(cavity.back(), 2.0 * forward, 0.01 * 2.0 * forward) << ql << " pulse " << pulse;
      ASSERT_NEAR(forwardAmplitude.back(), forward, 1e-3 * forward);
      ASSERT_NEAR(reflected.back(), forward, 0.02 * forward);
      for(double v : cavity) ASSERT_TRUE(std::isfinite(v)) << ql << " pulse " << pulse;
    }
  }
}

TEST(SimulatedBoard, FeedbackReducesTheFlatTopErrorByTheLoopGain) {
  BoardTest t;
  detectWithoutRotation(t);
  t.set<double>("OVC.WORD_ROT_RE", {1.0});
  t.set<double>("CTRL.WORD_VS_ROT_RE", {1.0});
  t.set<std::int32_t>("FD.WORD_VS_CH_ENA", {0x4}); // the cavity field is the vector sum
  t.set<std::int32_t>("CTRL.WORD_CNTRL_I_LIMIT", {1000000});
  t.set<std::int32_t>("CTRL.WORD_CNTRL_Q_LIMIT", {1000000});
  t.set<std::int32_t>("CTRL.BIT_FF_ENA", {1});
  t.setAll<std::int32_t>("CTABLES.AREA_FF_I", 5);
  t.setAll<std::int32_t>("CTABLES.AREA_SP_I", 10000);
  const double gain = 1.0 / 64.0;
  t.setAll<double>("CTABLES.AREA_GP_I", gain);
  t.setAll<double>("CTABLES.AREA_GP_Q", gain);
  t.set<std::uint32_t>("CTABLES.BIT_CTL_TABLES_BUF", {0x331});
  for(int k = 0; k < 5; ++k) t.trigger();
  const double openLoopError = mean(t.daq("APP.DAQ0_BUF0", 4), 8192, 16384);
  EXPECT_NEAR(openLoopError, 10000.0 - 1000.0 * 5.0, 50.0);

  t.set<std::int32_t>("CTRL.BIT_FB_ENA", {1});
  for(int k = 0; k < 2; ++k) t.trigger();
  const double closedLoopError = mean(t.daq("APP.DAQ0_BUF0", 4), 8192, 16384);
  // the cavity's gain from the controller output to the field is 2 x impedance x drive gain
  const double loopGain = 1000.0 * gain;
  EXPECT_NEAR(openLoopError / closedLoopError, 1.0 + loopGain, 0.02 * (1.0 + loopGain));
}

TEST(SimulatedBoard, ZeroDriveWarningsPrintOncePerPulse) {
  BoardTest t;
  t.set<std::int32_t>("CTRL.BIT_FF_ENA", {1});
  t.setAll<std::int32_t>("CTABLES.AREA_FF_I", 10);
  t.set<std::uint32_t>("CTABLES.BIT_CTL_TABLES_BUF", {0x1});
  t.trigger();
  testing::internal::CaptureStdout();
  for(int k = 0; k < 3; ++k) t.trigger(); // the output rotation is 0: every sample's drive is 0
  const std::string output = testing::internal::GetCapturedStdout();
  auto count = [&](const std::string& line) {
    std::size_t n = 0;
    for(auto at = output.find(line); at != std::string::npos; at = output.find(line, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("Warning: FF enabled but vmOut=0 at step A\n"), 0U);
  EXPECT_EQ(count("Warning: FF enabled but vmOut=0 at step B\n"), 3U);
  EXPECT_EQ(count("Warning: FF enabled but vmOut=0 at step C\n"), 3U);
}

TEST(SimulatedBoard, RegisterWrittenInThePulseTakesEffectAtTheNextSample) {
  BoardTest t;
  t.set<double>("OVC.WORD_ROT_RE", {1.0});
  t.set<std::int32_t>("OUTPUT.WORD_DAC_OFFSET", {100, 0});
  t.trigger();
  t.trigger(); // the pulse of the second trigger starts at sample 0
  auto board = t.board();
  constexpr std::int64_t samplePeriod = 553846;
  struct Write {
    std::int64_t sample; // the last sample computed before the write
    std::int32_t offset;
  };
  const std::vector<Write> writes{{99, 200}, {1000, -300}, {5000, 400}};
  std::int64_t at = 0;
  for(const auto& write : writes) {
    {
      std::lock_guard lock(board->mutex());
      board->timers().advance((write.sample - at) * samplePeriod);
    }
    at = write.sample;
    t.set<std::int32_t>("OUTPUT.WORD_DAC_OFFSET", {write.offset, 0});
  }
  t.trigger(); // the rest of the pulse
  const auto driveI = t.daq("APP.DAQ0_BUF0", 12);
  double before = 500.0;
  for(const auto& write : writes) {
    const auto n = static_cast<std::size_t>(write.sample);
    EXPECT_EQ(driveI[n], before) << n;
    EXPECT_EQ(driveI[n + 1], 5.0 * write.offset) << n;
    before = 5.0 * write.offset;
  }
  EXPECT_EQ(driveI.back(), 2000.0);
}
