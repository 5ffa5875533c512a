// The vector-modulator DAC offset calibration, on a plant whose DAC has an offset error that leaks into the
// vector sum with RF off, through a scale and a rotation the calibration has to measure.
#include "AutomationStation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>

using namespace automationtest;

namespace {

  using Request = Automation::Main::MODE_REQUEST;
  using Mode = Automation::Main::CURRENT_MODE;

  const std::string calibration = "/Automation/VectorModulator/DacOffset/Calibration/";
  const std::string operatorOffset = "/Automation/VectorModulator/DacOffset/";
  const std::string controllerOffset = "/Controller/VectorModulator/DacOffset/";
  constexpr double maxAmplitudeAfterCalibration = 0.002;

  struct Parameters {
    double maxIandQ{1000.0};
    std::uint32_t nTriggersAverage{3};
    std::uint32_t maxIterations{5};
    std::complex<double> dacOffsetError{120.4, -75.3};
  };

  struct LeakingStation : RunningAutomationWithPlant {
    explicit LeakingStation(const Parameters& p) {
      // 0.001 G.U. per digit, turned by 40 deg; the DAC is off by (120.4, -75.3) digits unless a test says otherwise
      app.plant.dacToVectorSum = polarDegrees(0.001, 40.0);
      app.plant.dacOffsetError = p.dacOffsetError;
      start();
      test.writeScalar<double>(calibration + "maxIandQ", p.maxIandQ);
      test.writeScalar<double>(calibration + "maxAmplitudeAfterCalibration", maxAmplitudeAfterCalibration);
      test.writeScalar<std::uint32_t>(calibration + "maxIterations", p.maxIterations);
      test.writeScalar<std::uint32_t>(calibration + "nTriggersAverage", p.nTriggersAverage);
    }
    void trigger() { write<std::int64_t>("/Server/triggerNumber", ++triggers); }
    Mode mode() { return static_cast<Mode>(read<std::int32_t>(currentMode)); }
    /// Requests the calibration and triggers until it has ended (at most `limit` triggers).
    void calibrate(int limit = 100) {
      write<std::int32_t>(requestMode, static_cast<std::int32_t>(Request::CALIBRATE_VM_OFFSET));
      EXPECT_EQ(mode(), Mode::CALIBRATE_VM_OFFSET);
      for(int i = 0; i < limit && mode() == Mode::CALIBRATE_VM_OFFSET; ++i) trigger();
    }
    std::int32_t offset(const std::string& group, const std::string& channel) {
      return read<std::int32_t>(group + channel);
    }
    std::int64_t triggers{0};
  };

  TEST(AutomationVMCalibration, FindsTheOffsetsThatCancelTheLeakageAndReturnsToOff) {
    LeakingStation station(Parameters{});
    station.trigger();
    EXPECT_GT(station.read<float>(amplitude), 0.1F);

    station.calibrate();
    EXPECT_EQ(station.mode(), Mode::OFF);
    EXPECT_EQ(station.read<std::string>(errorMessage), "");
    // the offsets truncated toward zero, published to the operators and handed to the controller
    EXPECT_EQ(station.offset(operatorOffset, "I"), -120);
    EXPECT_EQ(station.offset(operatorOffset, "Q"), 75);
    EXPECT_EQ(station.offset(controllerOffset, "I"), -120);
    EXPECT_EQ(station.offset(controllerOffset, "Q"), 75);
    station.trigger();
    EXPECT_LT(station.read<float>(amplitude), maxAmplitudeAfterCalibration);
    EXPECT_EQ(station.logged("Iteration 1"), 1u);
    EXPECT_EQ(station.logged("Iteration 2"), 0u);
  }

  TEST(AutomationVMCalibration, ParametersThatWouldSendNaNToTheDacsEndInTheErrorStateWithTheOffsetsUnchanged) {
    struct Case {
      Parameters parameters;
      std::string message;
    };
    for(const auto& c : {Case{{1000.0, 0, 5}, "VM offset calibration needs nTriggersAverage of at least 1."},
            Case{{0.0, 3, 5}, "VM offset calibration needs a finite positive maxIandQ."},
            Case{{std::nan(""), 3, 5}, "VM offset calibration needs a finite positive maxIandQ."}}) {
      SCOPED_TRACE(c.message);
      LeakingStation station(c.parameters);
      station.test.writeScalar<std::int32_t>(operatorOffset + "I", 10);
      station.write<std::int32_t>(operatorOffset + "Q", -20);
      const auto controllerWrites = station.test.updateCount(controllerOffset + "I");
      station.calibrate();
      EXPECT_EQ(station.mode(), Mode::ERROR);
      EXPECT_EQ(station.read<std::string>(errorMessage), c.message);
      EXPECT_EQ(station.offset(operatorOffset, "I"), 10);
      EXPECT_EQ(station.offset(operatorOffset, "Q"), -20);
      EXPECT_EQ(station.offset(controllerOffset, "I"), 10);
      EXPECT_EQ(station.offset(controllerOffset, "Q"), -20);
      // no trial offset reached the controller: every write carried the operator's offset
      EXPECT_GT(station.test.updateCount(controllerOffset + "I"), controllerWrites);
    }
  }

  TEST(AutomationVMCalibration, TooFewIterationsEndInTheErrorStateWithTheOperatorOffsetsBack) {
    LeakingStation station(Parameters{1000.0, 3, 1});
    station.calibrate();
    EXPECT_EQ(station.mode(), Mode::ERROR);
    EXPECT_EQ(station.read<std::string>(errorMessage), "VM offset calibration did not converge.");
    EXPECT_EQ(station.offset(controllerOffset, "I"), 0);
    EXPECT_EQ(station.offset(controllerOffset, "Q"), 0);
  }

  TEST(AutomationVMCalibration, ATrialOffsetBeyondTheMaximumOrTheDacsRangeIsOutOfRange) {
    struct Case {
      double maxIandQ;
      double dacOffsetError;
      std::string messageStart;
    };
    // the leakage asks for 120.4 digits where the maximum allows 100; or for billions of digits, which the
    // maximum allows but no 32-bit DAC register holds
    for(const auto& c : {Case{100.0, 120.4, "I = -120."}, Case{1e10, 3e9, "I = -"}}) {
      SCOPED_TRACE(c.maxIandQ);
      LeakingStation station(Parameters{c.maxIandQ, 3, 5, {c.dacOffsetError, 0.0}});
      station.write<std::int32_t>(operatorOffset + "Q", 3);
      station.calibrate();
      EXPECT_EQ(station.mode(), Mode::ERROR);
      const auto message = station.read<std::string>(errorMessage);
      const std::string prefix = "VM offset calibration failed: out of range: \n" + c.messageStart;
      EXPECT_EQ(message.rfind(prefix, 0), 0u) << message;
      // refused at the first trial offset, which never reached the controller
      EXPECT_EQ(station.logged("Iteration 1"), 0u);
      EXPECT_EQ(station.offset(controllerOffset, "I"), 0);
      EXPECT_EQ(station.offset(controllerOffset, "Q"), 3);
    }
  }

  TEST(AutomationVMCalibration, ASwitchOffRequestDuringAMeasurementEndsTheRunWithTheOperatorOffsets) {
    LeakingStation station(Parameters{});
    station.write<std::int32_t>(operatorOffset + "I", 7);
    station.write<std::int32_t>(requestMode, static_cast<std::int32_t>(Request::CALIBRATE_VM_OFFSET));
    station.trigger();
    station.trigger();
    // the first measurement point is on the controller
    ASSERT_EQ(station.offset(controllerOffset, "I"), -500);
    station.app.plant.silent = true;
    station.write<std::int32_t>(requestMode, static_cast<std::int32_t>(Request::SWITCH_OFF));
    EXPECT_EQ(station.mode(), Mode::OFF);
    EXPECT_EQ(station.offset(controllerOffset, "I"), 7);
    EXPECT_EQ(station.offset(operatorOffset, "I"), 7);
  }

} // namespace
