// The amplitude and phase error monitor: the error arithmetic and the fault grading on their own, then the
// module fed by a test (infinite and huge phases included) and fed by the controller's DAQ channels.
#include "AmplitudePhaseErrorGrading.h"
#include "ControllerFixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace AmplitudePhaseErrorGrading;

namespace {

  constexpr float inf = std::numeric_limits<float>::infinity();

  /// The monitor alone; the test writes the four sample inputs of every trigger.
  struct MonitorApp : Corvane::Application {
    MonitorApp() : Corvane::Application("errormonitor"), dmap(controllerdaq::writeFiles({"errormonitor"})) {}
    Corvane::SetDMapFilePath dmap;
    Corvane::ConfigReader config{this, ".", "errormonitor_base_config.xml"};
    AmplitudePhaseError monitor{this, "Controller/AmplitudePhaseError", "Averaged error of amplitude and phase"};
  };

  struct RunningMonitor {
    RunningMonitor(std::uint32_t countSet, std::uint32_t countClear) : test(app) {
      test.setScalarDefault<double>(path + "amplitudeLimit", 5.0);
      test.setScalarDefault<double>(path + "phaseLimit", 2.0);
      test.setScalarDefault<std::uint32_t>(path + "faultCountSet", countSet);
      test.setScalarDefault<std::uint32_t>(path + "faultCountClear", countClear);
      test.runApplication();
    }

    void trigger(float setPointAmplitude, float setPointPhase, float vectorSumAmplitude, float vectorSumPhase) {
      test.writeScalar<float>("/Controller/SetPoint/DAQ/Samples/amplitude", setPointAmplitude);
      test.writeScalar<float>("/Controller/SetPoint/DAQ/Samples/phase", setPointPhase);
      test.writeScalar<float>("/Controller/VectorSum/DAQ/Samples/amplitude", vectorSumAmplitude);
      test.writeScalar<float>("/Controller/VectorSum/DAQ/Samples/phase", vectorSumPhase);
      test.stepApplication();
    }
    void within() { trigger(10.F, 0.F, 10.F, 1.F); }
    void exceeding() { trigger(10.F, 0.F, 10.F, 30.F); }
    std::int32_t fault() { return test.readScalar<std::int32_t>(path + "fault"); }

    const std::string path = "/Controller/AmplitudePhaseError/";
    MonitorApp app;
    Corvane::TestFacility test;
  };

} // namespace

TEST(AmplitudePhaseErrorGrading, AmplitudeErrorIsRelativeToTheSetPoint) {
  struct Case {
    float setPoint, vectorSum;
    double error;
  };
  for(auto c : {Case{10.F, 9.F, 10.0}, Case{10.F, 12.5F, 25.0}, Case{0.F, 9.F, 0.0}, Case{-1.F, 9.F, 0.0},
          Case{std::nanf(""), 9.F, 0.0}}) {
    EXPECT_DOUBLE_EQ(amplitudeError(c.setPoint, c.vectorSum), c.error) << c.setPoint << " " << c.vectorSum;
  }
  EXPECT_TRUE(std::isinf(amplitudeError(10.F, inf)));
}

TEST(AmplitudePhaseErrorGrading, PhaseErrorIsFoldedIntoHalfATurn) {
  struct Case {
    float setPoint, vectorSum;
    double error;
  };
  for(auto c : {Case{170.F, -170.F, 20.0}, Case{0.F, 540.F, 180.0}, Case{0.F, 360.F, 0.0}, Case{0.F, 720.F, 0.0},
          Case{10.F, 20.F, 10.0}}) {
    EXPECT_DOUBLE_EQ(phaseError(c.setPoint, c.vectorSum), c.error) << c.setPoint << " " << c.vectorSum;
  }
  // a huge phase is reduced exactly, in one step
  const double reduced = std::fmod(static_cast<double>(1e30F), 360.0);
  EXPECT_DOUBLE_EQ(phaseError(0.F, 1e30F), reduced > 180.0 ? 360.0 - reduced : reduced);
  // what a loop subtracting 360 would never finish
  EXPECT_TRUE(std::isnan(phaseError(0.F, inf)));
  EXPECT_TRUE(std::isnan(phaseError(std::nanf(""), 0.F)));
}

TEST(AmplitudePhaseErrorGrading, OnlyErrorsStrictlyBelowTheirLimitsAreWithin) {
  EXPECT_TRUE(withinLimits(1.0, 1.0, 2.0, 2.0));
  EXPECT_FALSE(withinLimits(2.0, 1.0, 2.0, 2.0));
  EXPECT_FALSE(withinLimits(1.0, 2.0, 2.0, 2.0));
  EXPECT_FALSE(withinLimits(std::nan(""), 1.0, 2.0, 2.0));
  EXPECT_FALSE(withinLimits(1.0, std::nan(""), 2.0, 2.0));
  EXPECT_FALSE(withinLimits(1.0, 1.0, -1.0, 2.0));
}

TEST(AmplitudePhaseErrorGrading, FaultFollowsTheCounts) {
  struct Case {
    const char* name;
    std::uint32_t countSet, countClear;
    std::string pattern;   // e: exceeding, w: within
    std::string faults;    // "fault" after each trigger
    std::string writes;    // 1 where "fault" is written
  };
  for(const auto& c : {
          Case{"raised on the fourth", 3, 10, "eeeee", "00011", "00010"},
          Case{"a trigger within neither counts nor resets", 3, 10, "eewee", "00001", "00001"},
          Case{"cleared on the eleventh", 0, 10, "ewwwwwwwwwww", "111111111110", "100000000001"},
          Case{"count 0 follows the first trigger", 0, 0, "ewew", "1010", "1111"},
          Case{"an exceeding fault writes again when its count has run out", 1, 5, "eewwee", "011111", "010010"},
      }) {
    SCOPED_TRACE(c.name);
    FaultState state;
    std::string faults, writes;
    for(char trigger : c.pattern) {
      writes += state.update(trigger == 'w', c.countSet, c.countClear) ? '1' : '0';
      faults += static_cast<char>('0' + state.fault());
    }
    EXPECT_EQ(faults, c.faults);
    EXPECT_EQ(writes, c.writes);
  }
}

TEST(AmplitudePhaseError, GradesEveryCompleteSetOfSamples) {
  RunningMonitor monitor(3, 2);
  EXPECT_EQ(monitor.fault(), 0);
  EXPECT_EQ(monitor.test.updateCount(monitor.path + "fault"), 1u);

  monitor.trigger(10.F, 170.F, 9.F, -170.F);
  EXPECT_DOUBLE_EQ(monitor.test.readScalar<double>(monitor.path + "amplitude"), 10.0);
  EXPECT_DOUBLE_EQ(monitor.test.readScalar<double>(monitor.path + "phase"), 20.0);

  // only a complete set of the four samples is a trigger
  const auto published = monitor.test.updateCount(monitor.path + "amplitude");
  monitor.test.writeScalar<float>("/Controller/SetPoint/DAQ/Samples/amplitude", 10.F);
  monitor.test.stepApplication();
  EXPECT_EQ(monitor.test.updateCount(monitor.path + "amplitude"), published);
  monitor.test.writeScalar<float>("/Controller/SetPoint/DAQ/Samples/phase", 0.F);
  monitor.test.writeScalar<float>("/Controller/VectorSum/DAQ/Samples/amplitude", 10.F);
  monitor.test.writeScalar<float>("/Controller/VectorSum/DAQ/Samples/phase", 0.F);
  monitor.test.stepApplication();
  EXPECT_EQ(monitor.test.updateCount(monitor.path + "amplitude"), published + 1);
  EXPECT_DOUBLE_EQ(monitor.test.readScalar<double>(monitor.path + "amplitude"), 0.0);
}

TEST(AmplitudePhaseError, AnInfinitePhaseExceedsAndNeverHangs) {
  RunningMonitor monitor(0, 0);
  monitor.trigger(10.F, 0.F, 10.F, inf);
  EXPECT_TRUE(std::isnan(monitor.test.readScalar<double>(monitor.path + "phase")));
  EXPECT_EQ(monitor.fault(), 1);
  monitor.trigger(10.F, 0.F, 10.F, 3e38F); // a huge finite phase: reduced at once
  EXPECT_GE(monitor.test.readScalar<double>(monitor.path + "phase"), 0.0);
  EXPECT_LE(monitor.test.readScalar<double>(monitor.path + "phase"), 180.0);
  monitor.within();
  EXPECT_EQ(monitor.fault(), 0);
}

TEST(AmplitudePhaseError, SetAndClearCountsHoldTheFault) {
  RunningMonitor monitor(3, 10);
  for(int k = 1; k <= 3; ++k) {
    monitor.exceeding();
    EXPECT_EQ(monitor.fault(), 0) << k;
  }
  monitor.within(); // neither counts nor resets
  EXPECT_EQ(monitor.fault(), 0);
  monitor.exceeding();
  EXPECT_EQ(monitor.fault(), 1); // the fourth exceeding trigger
  for(int k = 1; k <= 10; ++k) {
    monitor.within();
    EXPECT_EQ(monitor.fault(), 1) << k;
  }
  monitor.within();
  EXPECT_EQ(monitor.fault(), 0); // the eleventh within limits
  // "fault" went out at start, on the raise and on the clear
  EXPECT_EQ(monitor.test.updateCount(monitor.path + "fault"), 3u);
}

TEST(AmplitudePhaseError, ReadsTheSamplesOfTheControllersChannels) {
  controllerdaq::RunningController controller;
  controller.test.setScalarDefault<double>("/Controller/AmplitudePhaseError/amplitudeLimit", 5.0);
  controller.test.setScalarDefault<double>("/Controller/AmplitudePhaseError/phaseLimit", 2.0);
  controller.start();
  controller.setTraces("SetPoint", std::vector<float>(8, 10.F), std::vector<float>(8, 0.F));
  controller.setTraces("VectorSum", std::vector<float>(8, 0.F), std::vector<float>(8, 9.F));
  controller.pulse();
  EXPECT_DOUBLE_EQ(controller.test.readScalar<double>("/Controller/AmplitudePhaseError/amplitude"), 10.0);
  EXPECT_DOUBLE_EQ(controller.test.readScalar<double>("/Controller/AmplitudePhaseError/phase"), 90.0);
  EXPECT_EQ(controller.test.readScalar<std::int32_t>("/Controller/AmplitudePhaseError/fault"), 1);
}
