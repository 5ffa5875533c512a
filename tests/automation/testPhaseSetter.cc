// The phase setter with its three receivers: a set point that adds each rotation to its phase and publishes it
// back, as the table generation does, and the vector-sum and output calibrations as rotation modules.
#include "PhaseSetter.h"
#include "RotationParameter.h"
#include "tools.h"

#include <Corvane/Application.h>
#include <Corvane/ConfigReader.h>
#include <Corvane/LogCapture.h>
#include <Corvane/TestFacility.h>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>

namespace {

  std::string phaseSetterConfig() {
    const std::string fileName = "phasesetter_base_config.xml";
    std::ofstream file(fileName);
    file << R"(<configuration>
  <module name="Configuration">
    <variable name="enablePhaseSetter" type="int32" value="1"/>
  </module>
</configuration>
)";
    return fileName;
  }

  /// The set point's side of a rotation: the phase turns by each command and is published again.
  struct RotatedSetPoint : Corvane::ApplicationModule {
    using Corvane::ApplicationModule::ApplicationModule;
    Corvane::ScalarPushInput<double> rotation{this, "/Controller/SetPoint/performPhaseRotation", "deg", "", {}};
    Corvane::ScalarOutput<double> phase{this, "/Controller/SetPoint/phase", "deg", "", {}};
    void prepare() override { phase.write(); }
    void mainLoop() override {
      while(true) {
        rotation.read();
        phase.setAndWrite(tools::canonicalPhaseDefinition(phase + rotation));
      }
    }
  };

  struct PhaseSetterApp : Corvane::Application {
    PhaseSetterApp() : Corvane::Application("phasesettertest") {}
    Corvane::ConfigReader config{this, ".", phaseSetterConfig()};
    PhaseSetter phaseSetter{this, "PhaseSetter", "Redefine controller phase"};
    RotatedSetPoint setPoint{this, "SetPointRotation", ""};
    llrf::RotationParameter vectorSumCalibration{this, "Controller/VectorSum/Calibration", "", 1, 0.0, 1.0, false};
    llrf::RotationParameter outputCalibration{this, "Controller/Output/Calibration", "", 1, 0.0, 1.0, false};
  };

  const std::string setter = "/PhaseSetter/";
  const std::string setPointRotation = "/Controller/SetPoint/performPhaseRotation";

  struct PhaseSetterStation {
    PhaseSetterStation() : test(app) {
      test.runApplication();
      test.writeScalar<double>(setter + "tolerance", 0.1);
      test.writeScalar<double>(setter + "rampingSpeed", 5.0);
    }
    template<class T>
    void write(const std::string& path, T value) {
      test.writeScalar<T>(path, value);
      test.stepApplication();
    }
    void trigger() { write<std::int64_t>("/Server/triggerNumber", ++triggers); }
    double phase() { return test.readScalar<double>("/Controller/SetPoint/phase"); }
    std::int32_t idle() { return test.readScalar<std::int32_t>(setter + "isIdle"); }
    std::int32_t ramping() { return test.readScalar<std::int32_t>(setter + "isRamping"); }

    Corvane::LogCapture log;
    PhaseSetterApp app;
    Corvane::TestFacility test;
    std::int64_t triggers{0};
  };

  TEST(PhaseSetter, ReachesTheTargetInStepsOfTheRampingSpeedThenTurnsIdle) {
    PhaseSetterStation station;
    EXPECT_EQ(station.idle(), 1);
    EXPECT_EQ(station.ramping(), 0);
    // at start each receiver got one rotation of 0
    EXPECT_EQ(station.test.updateCount(setPointRotation), 1u);
    station.write(setter + "targetPhase", 30.0);
    station.write<std::int32_t>(setter + "performAdjustments", 1);
    EXPECT_EQ(station.idle(), 0);
    EXPECT_EQ(station.ramping(), 1);
    for(int step = 1; step <= 6; ++step) {
      station.trigger();
      EXPECT_DOUBLE_EQ(station.phase(), 5.0 * step) << "trigger " << step;
      EXPECT_EQ(station.test.readScalar<double>("/Controller/VectorSum/Calibration/performPhaseRotation"), 5.0);
      EXPECT_EQ(station.test.readScalar<double>("/Controller/Output/Calibration/performPhaseRotation"), -5.0);
      EXPECT_EQ(station.ramping(), 1);
    }
    // the calibrations turned along: the vector sum's with the set point, the output's against it
    EXPECT_DOUBLE_EQ(station.test.readScalar<double>("/Controller/VectorSum/Calibration/angle"), 30.0);
    EXPECT_DOUBLE_EQ(station.test.readScalar<double>("/Controller/Output/Calibration/angle"), -30.0);

    station.trigger();
    EXPECT_EQ(station.test.readScalar<std::int32_t>(setter + "performAdjustments"), 0);
    EXPECT_EQ(station.idle(), 1);
    EXPECT_EQ(station.ramping(), 0);
    EXPECT_EQ(station.test.updateCount(setPointRotation), 7u);
    // idle: triggers rotate nothing
    station.trigger();
    EXPECT_EQ(station.test.updateCount(setPointRotation), 7u);
    EXPECT_DOUBLE_EQ(station.phase(), 30.0);
  }

  TEST(PhaseSetter, TakesTheShortWayAndClampsTheStep) {
    PhaseSetterStation station;
    station.write(setter + "targetPhase", -170.0);
    station.write<std::int32_t>(setter + "performAdjustments", 1);
    station.trigger();
    EXPECT_DOUBLE_EQ(station.phase(), -5.0);
    station.write(setter + "targetPhase", 178.0);
    station.write(setter + "rampingSpeed", 20.0);
    // from -5 to 178 the short way is down through -180
    station.trigger();
    EXPECT_DOUBLE_EQ(station.phase(), -25.0);
  }

  TEST(PhaseSetter, TheCrestSelectionsSetTheTargetAndClearEachOther) {
    PhaseSetterStation station;
    station.write<std::int32_t>(setter + "selectAntiCrest", 1);
    EXPECT_EQ(station.test.readScalar<double>(setter + "targetPhase"), 180.0);
    EXPECT_EQ(station.test.readScalar<std::int32_t>(setter + "selectOnCrest"), 0);
    station.write<std::int32_t>(setter + "selectOnCrest", 0);
    EXPECT_EQ(station.test.readScalar<double>(setter + "targetPhase"), 0.0);
    EXPECT_EQ(station.test.readScalar<std::int32_t>(setter + "selectAntiCrest"), 0);
    station.write<std::int32_t>(setter + "selectAntiCrest", 1);
    station.write(setter + "targetPhase", 12.0);
    EXPECT_EQ(station.test.readScalar<std::int32_t>(setter + "selectOnCrest"), 0);
    EXPECT_EQ(station.test.readScalar<std::int32_t>(setter + "selectAntiCrest"), 0);
  }

  TEST(PhaseSetter, ASpeedOrTargetThatGivesNoStepRotatesNothingWithOneWarning) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
      double speed, target;
    };
    for(const auto& c : {Case{nan, 30.0}, Case{-1.0, 30.0}, Case{inf, 30.0}, Case{5.0, nan}, Case{5.0, inf}}) {
      SCOPED_TRACE(std::to_string(c.speed) + " " + std::to_string(c.target));
      PhaseSetterStation station;
      station.write(setter + "rampingSpeed", c.speed);
      station.write(setter + "targetPhase", c.target);
      station.write<std::int32_t>(setter + "performAdjustments", 1);
      for(int i = 0; i < 3; ++i) station.trigger();
      EXPECT_EQ(station.test.updateCount(setPointRotation), 1u);
      EXPECT_EQ(station.phase(), 0.0);
      EXPECT_EQ(station.ramping(), 1);
      EXPECT_EQ(station.log.warningsContaining("No phase step").size(), 1u);
      // usable values step again
      station.write(setter + "rampingSpeed", 5.0);
      station.write(setter + "targetPhase", 30.0);
      station.trigger();
      EXPECT_DOUBLE_EQ(station.phase(), 5.0);
    }
  }

} // namespace
