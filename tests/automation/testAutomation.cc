// The automation's state machine with the interlock detection and the controller's enables: the off state at
// start, refused requests and the error state, manual mode, and the waits that a switch-off request or an
// interlock ends.
#include "AutomationStation.h"

#include <gtest/gtest.h>

using namespace automationtest;

namespace {

  using Request = Automation::Main::MODE_REQUEST;
  using Mode = Automation::Main::CURRENT_MODE;

  template<class Main = Automation::Main>
  struct Station : RunningAutomation<Main> {
    Station() { this->start(); }
    void request(Request r) { this->template write<std::int32_t>(requestMode, static_cast<std::int32_t>(r)); }
    void request(std::int32_t r) { this->template write<std::int32_t>(requestMode, r); }
    void trigger() { this->template write<std::int64_t>("/Server/triggerNumber", ++triggers); }
    Mode mode() { return static_cast<Mode>(this->template read<std::int32_t>(currentMode)); }
    std::string message() { return this->template read<std::string>(errorMessage); }
    /// The controller's feed-forward switch as the board gets it.
    bool feedForwardOnBoard() { return this->template read<Boolean>("/Controller/FeedForward/enable_actual"); }
    std::int64_t triggers{0};
  };

  TEST(Automation, StartsInTheOffStateWithTheControllerOff) {
    Station station;
    EXPECT_EQ(station.mode(), Mode::OFF);
    EXPECT_EQ(station.message(), "");
    EXPECT_EQ(station.logged("Switching RF off..."), 1u);
    EXPECT_EQ(station.logged("RF switched off."), 1u);
    const std::string cascade = "/Controller/Output/Calibration/CascadeInputAutomation/";
    EXPECT_EQ(station.read<double>(cascade + "scale"), 1.0);
    EXPECT_EQ(station.read<double>(cascade + "angle"), 0.0);
    EXPECT_EQ(station.read<std::int32_t>(cascade + "enable"), 0);
    EXPECT_EQ(station.read<std::int32_t>("/Controller/PulseShape/cwMode"), 0);
    EXPECT_FALSE(station.read<Boolean>(feedForward));
    EXPECT_FALSE(station.read<Boolean>(interlock + "enable"));
    // the off state hands the operator's DAC offsets to the controller on every update
    station.write<std::int32_t>("/Automation/VectorModulator/DacOffset/Q", -12);
    EXPECT_EQ(station.read<std::int32_t>("/Controller/VectorModulator/DacOffset/Q"), -12);
  }

  TEST(Automation, AnUnknownRequestEndsInTheErrorStateUntilTheErrorIsCleared) {
    for(std::int32_t request : {2, 6, 0, -1, 8}) {
      SCOPED_TRACE(request);
      Station station;
      station.request(request);
      EXPECT_EQ(station.mode(), Mode::ERROR);
      EXPECT_EQ(station.message(), "Unknown mode requested: " + std::to_string(request));
      EXPECT_EQ(station.logged("Entering error state: Unknown mode requested: " + std::to_string(request)), 1u);
      // only the request to clear the error leaves it
      station.request(Request::SWITCH_OFF);
      station.trigger();
      EXPECT_EQ(station.mode(), Mode::ERROR);
      station.request(Request::CLEAR_ERROR);
      EXPECT_EQ(station.mode(), Mode::OFF);
      EXPECT_EQ(station.message(), "");
      EXPECT_EQ(station.logged("Error state cleared"), 1u);
    }
  }

  TEST(Automation, ARequestToClearAnErrorWhileOffIsAnErrorThatClearsAtTheNextUpdate) {
    Station station;
    const auto messagesBefore = station.test.updateCount(errorMessage);
    station.request(Request::CLEAR_ERROR);
    // the request already holds 4, so the next update clears it: the interlock detection's answer to the reset
    // request that the switch-off at the entry sent
    EXPECT_EQ(station.logged("Entering error state: Unknown mode requested: 4"), 1u);
    EXPECT_EQ(station.logged("Error state cleared"), 1u);
    EXPECT_EQ(station.test.updateCount(errorMessage), messagesBefore + 2);
    EXPECT_EQ(station.mode(), Mode::OFF);
    EXPECT_EQ(station.message(), "");
    // back in the off state, which a repeated switch-off request runs again
    const auto offBefore = station.logged("RF switched off.");
    station.request(Request::SWITCH_OFF);
    EXPECT_EQ(station.logged("RF switched off."), offBefore + 1);
  }

  TEST(Automation, ManualModePassesTheOperatorSettingsThroughToTheController) {
    Station station;
    station.test.writeScalar<Boolean>("/Automation/FeedForward/enable", Boolean(true));
    station.test.writeScalar<double>("/Automation/SetPoint/phase", 30.0);
    station.request(Request::MANUAL);
    EXPECT_EQ(station.mode(), Mode::MANUAL);
    // settings at hand pass at the entry, except the enables, which start off
    EXPECT_EQ(station.read<double>("/Controller/SetPoint/phase"), 30.0);
    EXPECT_FALSE(station.feedForwardOnBoard());

    station.write("/Automation/FeedForward/enable", Boolean(true));
    EXPECT_TRUE(station.read<Boolean>(feedForward));
    EXPECT_TRUE(station.feedForwardOnBoard());
    station.write("/Automation/FeedBack/enable", Boolean(true));
    EXPECT_TRUE(station.read<Boolean>(feedBack));
    station.write("/Automation/SetPoint/amplitude", 12.5);
    EXPECT_EQ(station.read<double>("/Controller/SetPoint/amplitude"), 12.5);
    station.write("/Automation/FeedBack/Gain/magnitude", 40.0);
    EXPECT_EQ(station.read<double>("/Controller/FeedBack/Gain/magnitude"), 40.0);
    station.write<std::int32_t>("/Automation/PulseShape/cwMode", 1);
    EXPECT_EQ(station.read<std::int32_t>("/Controller/PulseShape/cwMode"), 1);
    station.test.writeScalar<std::int32_t>("/Automation/VectorModulator/DacOffset/Q", 7);
    station.write<std::int32_t>("/Automation/VectorModulator/DacOffset/I", -5);
    EXPECT_EQ(station.read<std::int32_t>("/Controller/VectorModulator/DacOffset/I"), -5);
    EXPECT_EQ(station.read<std::int32_t>("/Controller/VectorModulator/DacOffset/Q"), 7);

    // other requests change nothing
    station.request(Request::RAMPUP);
    EXPECT_EQ(station.mode(), Mode::MANUAL);
    EXPECT_EQ(station.message(), "");
  }

  TEST(Automation, ManualModeRefusesToSwitchOffWhileRFIsOn) {
    Station station;
    station.request(Request::MANUAL);
    station.write("/Automation/FeedForward/enable", Boolean(true));
    station.request(Request::SWITCH_OFF);
    EXPECT_EQ(station.mode(), Mode::MANUAL);
    EXPECT_EQ(station.logged("*** Cannot switch off manual mode, since RF is still on."), 1u);
    EXPECT_TRUE(station.feedForwardOnBoard());
    // switching feed-forward off does not end the mode by itself; a second request does
    station.write("/Automation/FeedForward/enable", Boolean(false));
    EXPECT_EQ(station.mode(), Mode::MANUAL);
    EXPECT_FALSE(station.feedForwardOnBoard());
    station.request(Request::SWITCH_OFF);
    EXPECT_EQ(station.mode(), Mode::OFF);
    EXPECT_EQ(station.read<std::int32_t>("/Controller/PulseShape/cwMode"), 0);
  }

  TEST(Automation, AnInterlockInManualModeDropsTheControllerEnablesButNotTheMode) {
    Station station;
    station.request(Request::MANUAL);
    station.write("/Automation/FeedForward/enable", Boolean(true));
    station.test.writeScalar<std::uint8_t>(latcher + "ilockLatchStatus", 2);
    station.write<float>(amplitude, 1.0F);
    EXPECT_TRUE(station.read<Boolean>(interlock + "interlockDetected"));
    EXPECT_FALSE(station.feedForwardOnBoard());
    EXPECT_EQ(station.mode(), Mode::MANUAL);
    EXPECT_EQ(station.message(), "");
  }

  /// A state that, like the ramp-up, switches feed-forward on and then waits for the vector sum's statistics.
  class WaitingForTraces : public Automation::Main {
   public:
    using Automation::Main::Main;
    void mainLoop() override {
      startStateMachine();
      dispatch(); // the off state, until the first request
      interlockDetection.feedForward.enable.setAndWrite(true);
      waitForUpdatesOrAbort({controller.vectorSum.daq.statistics.IAverage.getId(),
          controller.vectorSum.daq.statistics.QAverage.getId()});
      while(true) dispatch();
    }
  };

  TEST(Automation, AWaitForTracesActsOnASwitchOffRequestAndOnAnInterlock) {
    for(bool byInterlock : {false, true}) {
      SCOPED_TRACE(byInterlock ? "interlock" : "switch-off request");
      Station<WaitingForTraces> station;
      station.request(Request::RAMPUP);
      ASSERT_TRUE(station.feedForwardOnBoard());
      // one of the two traces comes, then none: triggers alone do not end the wait
      station.write<float>("/Controller/VectorSum/DAQ/Statistics/IAverage", 1.0F);
      station.trigger();
      station.trigger();
      ASSERT_TRUE(station.feedForwardOnBoard());
      if(byInterlock) {
        station.test.writeScalar<std::uint8_t>(latcher + "ilockLatchStatus", 2);
        station.write<float>(amplitude, 1.0F);
        EXPECT_EQ(station.mode(), Mode::ERROR);
        EXPECT_EQ(station.message(), "Zero VS amplitude detected. Interlock tripped?");
      }
      else {
        station.request(Request::SWITCH_OFF);
        EXPECT_EQ(station.mode(), Mode::OFF);
      }
      EXPECT_FALSE(station.feedForwardOnBoard());
      EXPECT_FALSE(station.read<Boolean>(interlock + "FeedForward/enable"));
    }
  }

} // namespace
