// The cavity model on its own, driven by fed drive sources: start time, forward and reflected
// signals, settling and stability over many pulses, restarts from the past, parameters.
#include "CavityModel.h"

#include <Corvane/LogCapture.h>
#include <Corvane/Logger.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

using Corvane::VirtualLab::Picoseconds;
using Corvane::VirtualLab::SignalSink;
using Corvane::VirtualLab::SignalSource;

namespace {

  constexpr Picoseconds samplePeriod = 553846;
  constexpr Picoseconds triggerPeriod = 100'000'000'000;
  constexpr Picoseconds firstPulse = 300'000'000'000;

  struct DrivenCavity : ::testing::Test {
    CavityModel model;
    std::shared_ptr<SignalSource> driveI = std::make_shared<SignalSource>();
    std::shared_ptr<SignalSource> driveQ = std::make_shared<SignalSource>();
    std::vector<SignalSink> readers{6}; // as the board's inputs: they keep 0.2 s of every signal

    DrivenCavity() {
      setDrive(0, 0.0, 0.0);
      model.driveSinkI->connect(driveI);
      model.driveSinkQ->connect(driveQ);
      std::size_t k = 0;
      for(const auto& source : {model.cavitySourceI, model.cavitySourceQ, model.forwardSourceI, model.forwardSourceQ,
              model.reflectedSourceI, model.reflectedSourceQ}) {
        readers[k].setMaxHistoryLength(2 * triggerPeriod);
        readers[k++].connect(source);
      }
    }
    void setDrive(Picoseconds t, double i, double q) {
      driveI->feedValue(t, i);
      driveQ->feedValue(t, q);
    }
    double field(Picoseconds t, CavityModel::IorQ component) { return model.compute(t, component, CavityModel::cavity); }
  };

} // namespace

TEST_F(DrivenCavity, NothingHappensUpToTheStartTime) {
  setDrive(0, 1.0, 0.0);
  EXPECT_EQ(model.compute(CavityModel::startTime, CavityModel::I, CavityModel::forward), 0.0);
  EXPECT_TRUE(model.cavitySourceI->getStateVariableSet().empty());
  EXPECT_TRUE(model.forwardSourceI->getStateVariableSet().empty());
  EXPECT_EQ(model.compute(CavityModel::startTime + 1, CavityModel::I, CavityModel::forward), 100.0);
  EXPECT_EQ(model.forwardSourceI->getStateVariableSet().size(), 1U);
}

TEST_F(DrivenCavity, FirstStepStartsFromZeroFieldAndRecordsAllSixSignals) {
  setDrive(0, 1.0, -0.5);
  const Picoseconds t = firstPulse;
  EXPECT_EQ(model.compute(t, CavityModel::Q, CavityModel::forward), -50.0);
  // no earlier field: the field is 0, everything forward is reflected
  EXPECT_EQ(model.cavitySourceI->getValue(t), 0.0);
  EXPECT_EQ(model.reflectedSourceI->getValue(t), 100.0);
  EXPECT_EQ(model.reflectedSourceQ->getValue(t), -50.0);
  EXPECT_EQ(model.forwardSourceI->getValue(t), 100.0);
}

TEST_F(DrivenCavity, PulsesSettleAtTwiceTheForwardSignalAndStayFinite) {
  for(double ql : {3e6, 1e4}) {
    model.setQL(ql);
    const double forward = 100.0 * 2.0;
    for(int pulse = 0; pulse < 100; ++pulse) {
      const Picoseconds start = firstPulse + pulse * triggerPeriod;
      setDrive(start, 2.0, 0.0);
      Picoseconds t = start;
      for(int k = 0; k < 16384; ++k, t += samplePeriod) {
        field(t, CavityModel::I);
        field(t, CavityModel::Q);
      }
      // the flat-top lasts 12 time constants at QL 3e6
      EXPECT_NEAR(field(t, CavityModel::I), 2.0 * forward, 0.01 * 2.0 * forward) << ql << " pulse " << pulse;
      EXPECT_NEAR(field(t, CavityModel::Q), 0.0, 0.01 * 2.0 * forward) << ql << " pulse " << pulse;
      EXPECT_NEAR(model.compute(t, CavityModel::I, CavityModel::reflected), -forward, 0.01 * forward);
      setDrive(t, 0.0, 0.0);
      // the gap to the next pulse is one step of 0.091 s: the field decays, it must not grow
      const double gapField = field(start + triggerPeriod - samplePeriod, CavityModel::I);
      ASSERT_TRUE(std::isfinite(gapField)) << ql << " pulse " << pulse;
      EXPECT_LT(std::fabs(gapField), 2.0 * forward) << ql << " pulse " << pulse;
    }
  }
}

TEST_F(DrivenCavity, EarlierRequestRestartsFromTheLastStepAtOrBeforeIt) {
  setDrive(0, 1.0, 0.0);
  const Picoseconds t1 = firstPulse, t2 = t1 + 100 * samplePeriod, t3 = t2 + 100 * samplePeriod;
  field(t1, CavityModel::I);
  field(t2, CavityModel::I);
  field(t3, CavityModel::I);
  const Picoseconds between = t1 + 40 * samplePeriod;
  const double restarted = field(between, CavityModel::I);

  CavityModel fresh;
  SignalSink keeper;
  keeper.setMaxHistoryLength(2 * triggerPeriod);
  keeper.connect(fresh.cavitySourceI);
  fresh.driveSinkI->connect(driveI);
  fresh.driveSinkQ->connect(driveQ);
  fresh.compute(t1, CavityModel::I, CavityModel::cavity);
  EXPECT_EQ(restarted, fresh.compute(between, CavityModel::I, CavityModel::cavity));
  EXPECT_GT(restarted, 0.0);
  // the steps after the request are gone from all six signals
  EXPECT_EQ(model.cavitySourceI->getStateVariableSet().getLatestTime(), between);
  EXPECT_EQ(model.reflectedSourceQ->getStateVariableSet().getLatestTime(), between);
}

TEST_F(DrivenCavity, DetunedFieldRotatesWithoutDrive) {
  model.setDetuning(100.0);
  setDrive(0, 1.0, 0.0);
  const Picoseconds t1 = firstPulse;
  field(t1, CavityModel::I);
  const Picoseconds t2 = t1 + 20 * samplePeriod;
  const double i2 = field(t2, CavityModel::I), q2 = field(t2, CavityModel::Q);
  setDrive(t2, 0.0, 0.0);
  const Picoseconds t3 = t2 + 1'000'000'000; // 1 ms later
  const double i3 = field(t3, CavityModel::I), q3 = field(t3, CavityModel::Q);
  const double decay = std::exp(-model.getOmegaH() * 1e-3), angle = 2 * std::numbers::pi * 100.0 * 1e-3;
  EXPECT_NEAR(i3, decay * (i2 * std::cos(angle) - q2 * std::sin(angle)), 1e-9);
  EXPECT_NEAR(q3, decay * (i2 * std::sin(angle) + q2 * std::cos(angle)), 1e-9);
}

TEST(CavityModel, ParametersAndTheirDerivedRates) {
  Corvane::LogCapture log("CavityModel");
  CavityModel model;
  EXPECT_EQ(log.textsFrom("CavityModel"), (std::vector<std::string>{"QL = 3e+06\n", "fH = 216.667\n"}));
  EXPECT_DOUBLE_EQ(model.getOmegaH(), 2 * std::numbers::pi * 1.3e9 / 6e6);
  model.setQL(1e6);
  EXPECT_DOUBLE_EQ(model.getHalfBandwidth(), 650.0);
  EXPECT_DOUBLE_EQ(model.getOmegaH(), 1300.0 * std::numbers::pi);
  model.setDetuning(100.0);
  EXPECT_DOUBLE_EQ(model.getOmegaDetuning(), 200.0 * std::numbers::pi);
  model.setImpedance(7.0);
  EXPECT_EQ(model.getImpedance(), 7.0);
}

TEST(CavityModel, HistoryAskedOfItsSignalsReachesTheDriveSinks) {
  CavityModel model;
  SignalSink reader;
  reader.setMaxHistoryLength(200'000'000'000);
  reader.connect(model.cavitySourceI);
  EXPECT_EQ(model.driveSinkI->getMaxHistoryLength(), 200'000'000'000);
  EXPECT_EQ(model.driveSinkQ->getMaxHistoryLength(), 200'000'000'000);
}
