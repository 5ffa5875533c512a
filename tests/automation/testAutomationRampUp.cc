// The automation's ramp-up into continuous-wave operation and its automatic CW mode, on a cavity plant whose
// drive path is off by a scale and a rotation that the automation's output vector correction has to find.
#include "AutomationStation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace automationtest;

namespace {

  using Request = Automation::Main::MODE_REQUEST;
  using Mode = Automation::Main::CURRENT_MODE;

  const std::string rampup = "/Automation/Rampup/";
  const std::string cascade = "/Controller/Output/Calibration/CascadeInputAutomation/";
  const std::string errorAverage = "/Controller/Error/DAQ/Statistics/amplitudeAverage";
  constexpr double allowedError = 0.5;
  constexpr double targetError = 0.05;

  struct Ramp {
    std::uint32_t type;
    std::uint32_t rerunDuringRamping;
    double rampGain{5.0};
  };

  struct PlantStation : RunningAutomationWithPlant {
    explicit PlantStation(const Ramp& ramp) {
      start();
      write("/Automation/SetPoint/amplitude", 20.0);
      write("/Automation/SetPoint/phase", 30.0);
      write("/Automation/FeedBack/Gain/magnitude", 20.0);
      set(rampup + "initialSetpoint", 2.0);
      set(rampup + "allowedAmplitudeExcess", 1.0);
      set(rampup + "allowedError", allowedError);
      set(rampup + "gain", ramp.rampGain);
      set(rampup + "stepsizeSetpoint", 3.0);
      set(rampup + "stepsizeGain", 2.0);
      set(rampup + "type", ramp.type);
      set(rampup + "OVC/rateScale", 0.2);
      set(rampup + "OVC/ratePhase", 10.0);
      set(rampup + "OVC/maxIterations", std::uint32_t{20});
      set(rampup + "OVC/targetError", targetError);
      set(rampup + "OVC/rerunDuringRamping", ramp.rerunDuringRamping);
      set(rampup + "OVC/maxScale", 2.0);
      set(rampup + "OVC/minScale", 0.5);
      set("/Automation/Ramp/amplitudeStep", 0.1);
      set("/Automation/Ramp/phaseStep", 1.0);
    }
    /// A parameter the automation polls.
    template<class T>
    void set(const std::string& path, T value) {
      test.writeScalar<T>(path, value);
    }
    void request(Request r) { write<std::int32_t>(requestMode, static_cast<std::int32_t>(r)); }
    void trigger() { write<std::int64_t>("/Server/triggerNumber", ++triggers); }
    /// Triggers until the automation shows `wanted` (at most `limit` triggers).
    bool triggerUntil(Mode wanted, int limit = 200) {
      for(int i = 0; i < limit && mode() != wanted; ++i) trigger();
      return mode() == wanted;
    }
    Mode mode() { return static_cast<Mode>(read<std::int32_t>(currentMode)); }
    bool onBoard(const std::string& controllerSwitch) { return read<Boolean>("/Controller/" + controllerSwitch + "/enable_actual"); }
    double setPoint() { return read<double>("/Controller/SetPoint/amplitude"); }
    std::int64_t triggers{0};
  };

  /// A station ramped up into continuous-wave operation.
  struct RunningCW : PlantStation {
    RunningCW() : PlantStation(Ramp{1, 0}) {
      request(Request::RAMPUP);
      EXPECT_TRUE(triggerUntil(Mode::CW_AUTO));
    }
  };

  TEST(AutomationRampUp, ReachesTheSetPointWithTheErrorBelowTheAllowedErrorThenHoldsItInCWMode) {
    for(const auto& ramp : {Ramp{0, 0}, Ramp{1, 0}, Ramp{1, 1}, Ramp{1, 3}}) {
      SCOPED_TRACE("type " + std::to_string(ramp.type) + ", rerun " + std::to_string(ramp.rerunDuringRamping));
      PlantStation station(ramp);
      station.request(Request::RAMPUP);
      EXPECT_EQ(station.mode(), Mode::RAMPUP);
      ASSERT_TRUE(station.triggerUntil(Mode::CW_AUTO));
      EXPECT_EQ(station.logged("CW auto mode activated."), 1u);
      EXPECT_EQ(station.setPoint(), 20.0);
      EXPECT_EQ(station.read<double>("/Controller/SetPoint/phase"), 30.0);
      EXPECT_EQ(station.read<double>("/Controller/FeedBack/Gain/magnitude"), 20.0);
      EXPECT_TRUE(station.onBoard("FeedForward"));
      EXPECT_TRUE(station.onBoard("FeedBack"));
      EXPECT_EQ(station.read<std::int32_t>("/Controller/PulseShape/cwMode"), 1);
      EXPECT_TRUE(station.read<Boolean>(interlock + "enable"));
      // the correction found the drive path's scale and rotation (0.85 and 15 deg)
      EXPECT_EQ(station.read<std::int32_t>(cascade + "enable"), 1);
      EXPECT_NEAR(station.read<double>(cascade + "scale"), 1.0 / 0.85, 0.01);
      EXPECT_NEAR(station.read<double>(cascade + "angle"), -15.0, 0.5);
      station.trigger();
      EXPECT_LT(station.read<float>(errorAverage), allowedError);
      EXPECT_LT(station.read<float>(errorAverage), targetError);
      EXPECT_EQ(station.mode(), Mode::CW_AUTO);
      EXPECT_EQ(station.read<std::string>(errorMessage), "");
    }
  }

  TEST(AutomationRampUp, AGainOfZeroInTheClosedLoopCorrectionEndsInTheErrorStateWithRFOff) {
    // the initial gain ramp ends at a gain of 0 before the corrections during the ramp; ramp-up type 2 never
    // ramps a gain before its correction after the set-point ramp
    for(const auto& ramp : {Ramp{1, 1, 0.0}, Ramp{2, 2}}) {
      SCOPED_TRACE("type " + std::to_string(ramp.type));
      PlantStation station(ramp);
      station.request(Request::RAMPUP);
      ASSERT_TRUE(station.triggerUntil(Mode::ERROR));
      EXPECT_EQ(station.read<std::string>(errorMessage),
          "Output vector correction in closed loop needs a finite non-zero gain.");
      EXPECT_FALSE(station.onBoard("FeedForward"));
      EXPECT_FALSE(station.onBoard("FeedBack"));
      EXPECT_EQ(station.setPoint(), 0.0);
      EXPECT_EQ(station.read<double>(cascade + "scale"), 1.0);
      EXPECT_EQ(station.read<std::int32_t>(cascade + "enable"), 0);
    }
  }

  TEST(AutomationRampUp, ARampThatCannotGoOnEndsInTheErrorStateWithItsReason) {
    struct Case {
      std::string parameter;
      double value;
      std::string message;
    };
    const Case cases[] = {
        {"allowedAmplitudeExcess", -1.0, "Vector sum amplitude too large, check calibration."},
        {"allowedAmplitudeExcess", std::nan(""), "Vector sum amplitude too large, check calibration."},
        {"pauseRamping", 1, "Pause ramping is active before ramping started. Needs to be set OFF by the user!"},
        {"OVC/maxIterations", 0, "Output vector correction did not converge. Check calibration."},
        {"OVC/rateScale", std::nan(""), "Output vector correction found no finite correction. Check calibration."},
        {"stepsizeSetpoint", 0.0,
            "Ramp needs a finite positive Rampup/stepsizeSetpoint and a finite SetPoint/amplitude."},
        {"stepsizeGain", -2.0, "Ramp needs a finite positive Rampup/stepsizeGain and a finite Rampup/gain."},
        {"allowedError", -1.0, "Error amplitude too large, check gain setting."}, // no error is that small
    };
    for(const auto& c : cases) {
      SCOPED_TRACE(c.parameter + " " + std::to_string(c.value));
      PlantStation station(Ramp{1, 0});
      if(c.parameter == "pauseRamping") station.set(rampup + c.parameter, static_cast<std::int32_t>(c.value));
      else if(c.parameter == "OVC/maxIterations") station.set(rampup + c.parameter, static_cast<std::uint32_t>(c.value));
      else station.set(rampup + c.parameter, c.value);
      station.request(Request::RAMPUP);
      ASSERT_TRUE(station.triggerUntil(Mode::ERROR));
      EXPECT_EQ(station.read<std::string>(errorMessage), c.message);
      EXPECT_FALSE(station.onBoard("FeedForward"));
      EXPECT_FALSE(station.onBoard("FeedBack"));
      const double scale = station.read<double>(cascade + "scale");
      EXPECT_EQ(scale, 1.0);
    }
  }

  TEST(AutomationRampUp, PausedRampingHoldsTheSetPointUntilReleased) {
    PlantStation station(Ramp{0, 0});
    station.request(Request::RAMPUP);
    for(int i = 0; i < 50 && station.setPoint() < 8.0; ++i) station.trigger();
    station.set(rampup + "pauseRamping", std::int32_t{1});
    station.trigger();
    const double held = station.setPoint();
    for(int i = 0; i < 5; ++i) station.trigger();
    EXPECT_EQ(station.setPoint(), held);
    EXPECT_EQ(station.mode(), Mode::RAMPUP);
    station.set(rampup + "pauseRamping", std::int32_t{0});
    ASSERT_TRUE(station.triggerUntil(Mode::CW_AUTO));
    EXPECT_EQ(station.setPoint(), 20.0);
  }

  TEST(AutomationRampUp, ASwitchOffRequestEndsARampWaitingForTracesThatStopped) {
    PlantStation station(Ramp{0, 0});
    station.request(Request::RAMPUP);
    for(int i = 0; i < 20 && !station.onBoard("FeedForward"); ++i) station.trigger();
    ASSERT_TRUE(station.onBoard("FeedForward"));
    station.app.plant.silent = true;
    for(int i = 0; i < 10; ++i) station.trigger();
    ASSERT_EQ(station.mode(), Mode::RAMPUP);
    station.request(Request::SWITCH_OFF);
    EXPECT_EQ(station.mode(), Mode::OFF);
    EXPECT_FALSE(station.onBoard("FeedForward"));
  }

  TEST(AutomationCW, AnAmplitudeChangeMovesTheSetPointByTheStepLimitPerTrigger) {
    RunningCW station;
    station.write("/Automation/SetPoint/amplitude", 21.0);
    EXPECT_EQ(station.setPoint(), 20.0);
    for(int step = 1; step <= 10; ++step) {
      station.trigger();
      EXPECT_NEAR(station.setPoint(), 20.0 + 0.1 * step, 1e-9) << "trigger " << step;
      EXPECT_EQ(station.mode(), Mode::RAMPING) << "trigger " << step;
    }
    station.trigger();
    EXPECT_NEAR(station.setPoint(), 21.0, 1e-9);
    EXPECT_EQ(station.mode(), Mode::CW_AUTO);
    // an operator's gain reaches the controller at once, between triggers too
    station.write("/Automation/FeedBack/Gain/magnitude", 25.0);
    EXPECT_EQ(station.read<double>("/Controller/FeedBack/Gain/magnitude"), 25.0);
  }

  TEST(AutomationCW, AStepLimitThatIsNotANumberMovesNothingAndIsReportedOnce) {
    struct Case {
      std::string limit, target, controller;
      double from, to;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for(const auto& c : {Case{"amplitudeStep", "/Automation/SetPoint/amplitude", "/Controller/SetPoint/amplitude", 20, 22},
            Case{"phaseStep", "/Automation/SetPoint/phase", "/Controller/SetPoint/phase", 30, 40}}) {
      for(double limit : {nan, inf}) {
        SCOPED_TRACE(c.limit + " " + std::to_string(limit));
        RunningCW station;
        station.set("/Automation/Ramp/" + c.limit, limit);
        station.write(c.target, c.to);
        for(int i = 0; i < 3; ++i) {
          station.trigger();
          EXPECT_EQ(station.read<double>(c.controller), c.from);
          EXPECT_EQ(station.mode(), Mode::RAMPING);
        }
        EXPECT_EQ(station.log.warningsContaining("Ramp/" + c.limit + " is not a finite number").size(), 1u);
        // a usable limit moves again
        station.set("/Automation/Ramp/" + c.limit, 0.5);
        station.trigger();
        EXPECT_EQ(station.read<double>(c.controller), c.from + 0.5);
      }
    }
  }

  TEST(AutomationCW, AnInterlockEndsCWModeInTheErrorState) {
    RunningCW station;
    station.test.writeScalar<std::uint8_t>(latcher + "ilockLatchStatus", 2);
    station.trigger();
    EXPECT_EQ(station.mode(), Mode::ERROR);
    EXPECT_EQ(station.read<std::string>(errorMessage), "Zero VS amplitude detected. Interlock tripped?");
    EXPECT_FALSE(station.onBoard("FeedForward"));
  }

} // namespace
