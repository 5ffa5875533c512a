// The controller's enables, the status filter for the slow algorithms, the output limit and the beam-based
// feedback's limiter status, inside the controller test application.
#include "ConfigurationLimits.h"
#include "ControllerFixture.h"

#include <Corvane/Exception.h>
#include <gtest/gtest.h>

using namespace controllerdaq;
using Corvane::Boolean;
using Corvane::StatusOutput;

namespace {

  const std::string registers = "ToControlSystem.Controller.";

  std::uint32_t boardBit(RunningController& c, const std::string& name) {
    return c.dummy->getRegister<std::uint32_t>(registers + name).at(0);
  }

  const std::string bbf = "/Controller/Status/bbfLimiterStatus";

} // namespace

TEST(ControllerEnable, BothControllersAreOffAfterEveryStart) {
  for(bool initially : {true, false}) {
    SCOPED_TRACE(initially);
    RunningController controller;
    controller.test.setScalarDefault<Boolean>("/Controller/FeedForward/enable", Boolean(initially));
    controller.test.setScalarDefault<Boolean>("/Controller/FeedBack/enable", Boolean(initially));
    controller.start();
    for(const char* path : {"/Controller/FeedForward/", "/Controller/FeedBack/"}) {
      EXPECT_FALSE(controller.test.readScalar<Boolean>(std::string(path) + "enable")) << path;
      EXPECT_FALSE(controller.test.readScalar<Boolean>(std::string(path) + "enable_actual")) << path;
      // a request that was off is not written back; the board's copy always is
      EXPECT_EQ(controller.test.updateCount(std::string(path) + "enable"), initially ? 2u : 1u) << path;
      EXPECT_EQ(controller.test.updateCount(std::string(path) + "enable_actual"), 1u) << path;
    }
    EXPECT_EQ(boardBit(controller, "FeedForward.enable_actual"), 0u);
    EXPECT_EQ(boardBit(controller, "FeedBack.enable_actual"), 0u);
  }
}

TEST(ControllerEnable, EachRequestReachesOnlyItsOwnController) {
  RunningController controller;
  controller.start();
  controller.test.writeScalar<Boolean>("/Controller/FeedBack/enable", Boolean(true));
  controller.test.stepApplication();
  EXPECT_EQ(boardBit(controller, "FeedBack.enable_actual"), 1u);
  EXPECT_EQ(boardBit(controller, "FeedForward.enable_actual"), 0u);
  controller.test.writeScalar<Boolean>("/Controller/FeedForward/enable", Boolean(true));
  controller.test.writeScalar<Boolean>("/Controller/FeedBack/enable", Boolean(false));
  controller.test.stepApplication();
  EXPECT_EQ(boardBit(controller, "FeedForward.enable_actual"), 1u);
  EXPECT_EQ(boardBit(controller, "FeedBack.enable_actual"), 0u);
}

TEST(InhibitAlgos, UnmaskedStatusBitsInhibitTheAlgorithms) {
  struct Case {
    std::uint32_t status, mask;
    std::int32_t inhibit;
  };
  RunningController controller;
  controller.start();
  for(auto c : {Case{0x5, 0x4, 1}, Case{0x5, 0x5, 0}, Case{0x0, 0x0, 0}, Case{0x0, 0xFFFFFFFF, 0},
          Case{0x80000000, 0x7FFFFFFF, 1}}) {
    SCOPED_TRACE(testing::Message() << std::hex << c.status << " mask " << c.mask);
    controller.test.writeScalar<std::uint32_t>("/Controller/Status/bitmaskForInhibitAlgos", c.mask);
    controller.dummy->setRegister<std::uint32_t>(registers + "Status.controllerStatus", {c.status});
    controller.pulse();
    EXPECT_EQ(controller.test.readScalar<std::int32_t>("/Controller/Status/inhibitAlgos"), c.inhibit);
  }
}

TEST(InhibitAlgos, AMaskChangeWaitsForTheNextStatusWord) {
  RunningController controller;
  controller.start();
  controller.dummy->setRegister<std::uint32_t>(registers + "Status.controllerStatus", {0x4});
  controller.pulse();
  ASSERT_EQ(controller.test.readScalar<std::int32_t>("/Controller/Status/inhibitAlgos"), 1);
  controller.test.writeScalar<std::uint32_t>("/Controller/Status/bitmaskForInhibitAlgos", 0x4);
  controller.test.stepApplication();
  EXPECT_EQ(controller.test.readScalar<std::int32_t>("/Controller/Status/inhibitAlgos"), 1);
  controller.pulse();
  EXPECT_EQ(controller.test.readScalar<std::int32_t>("/Controller/Status/inhibitAlgos"), 0);
}

TEST(MaximumOutput, TheLimitGoesUnchangedToIAndQ) {
  RunningController controller;
  controller.start();
  for(std::int32_t limit : {-5, 0, 32767, 2147483647}) {
    controller.test.writeScalar<std::int32_t>("/Controller/FeedBack/maximumOutput", limit);
    controller.test.stepApplication();
    EXPECT_EQ(controller.dummy->getRegister<std::int32_t>(registers + "FeedBack.limitI").at(0), limit);
    EXPECT_EQ(controller.dummy->getRegister<std::int32_t>(registers + "FeedBack.limitQ").at(0), limit);
  }
}

namespace {

  struct RunningBbf : RunningController {
    explicit RunningBbf(const Settings& settings = {}) : RunningController(settings) {}
    void ena(std::uint32_t on) {
      test.writeScalar<std::uint32_t>("/BeamBasedFeedback/ENA", on);
      test.stepApplication();
    }
    /// Both limiter arrays of one version.
    void limits(const std::vector<std::uint8_t>& amplitude, const std::vector<std::uint8_t>& phase) {
      Corvane::VersionNumber version;
      test.writeArray<std::uint8_t>("/BeamBasedFeedback/AMPL/LIMIT_ACT", amplitude, version);
      test.writeArray<std::uint8_t>("/BeamBasedFeedback/PHASE/LIMIT_ACT", phase, version);
      test.stepApplication();
    }
    std::int32_t status() { return test.readScalar<std::int32_t>(bbf); }
    std::string message() { return test.readScalar<std::string>(bbf + "_message"); }
    std::uint64_t resets() { return test.updateCount("/BeamBasedFeedback/LIMIT_RESET_INTERNAL"); }
  };

  const std::vector<std::uint8_t> clear(4, 0);
  const std::vector<std::uint8_t> lastRegionLimited{0, 0, 0, 1};

} // namespace

TEST(BbfStatus, OffWhileTheFeedbackIsSwitchedOff) {
  RunningBbf controller;
  controller.start();
  EXPECT_EQ(controller.resets(), 1u); // reset once at start
  EXPECT_EQ(controller.status(), StatusOutput::OFF);
  EXPECT_EQ(controller.message(), "L-IBFB switched off");
  controller.limits(lastRegionLimited, lastRegionLimited);
  EXPECT_EQ(controller.status(), StatusOutput::OFF);
  EXPECT_EQ(controller.resets(), 1u);

  // switched on: still OFF until the next consistent pair
  controller.ena(1);
  EXPECT_EQ(controller.status(), StatusOutput::OFF);
  controller.limits(clear, clear);
  EXPECT_EQ(controller.status(), StatusOutput::OK);
  EXPECT_EQ(controller.resets(), 1u);
}

TEST(BbfStatus, AnActiveLimitResetsTheLimiterAndWarns) {
  RunningBbf controller;
  controller.test.setScalarDefault<std::uint32_t>("/BeamBasedFeedback/ENA", 1);
  controller.start();
  EXPECT_EQ(controller.status(), StatusOutput::OK); // the first pass evaluates the initial arrays
  controller.limits(lastRegionLimited, clear);
  EXPECT_EQ(controller.resets(), 2u);
  EXPECT_EQ(controller.status(), StatusOutput::WARNING);
  EXPECT_EQ(controller.message(), "L-IBFB limit active");
  controller.limits(clear, lastRegionLimited); // the phase array is scanned too
  EXPECT_EQ(controller.resets(), 3u);
  EXPECT_EQ(controller.status(), StatusOutput::WARNING);
  controller.limits(clear, clear);
  EXPECT_EQ(controller.status(), StatusOutput::OK);
  EXPECT_EQ(controller.resets(), 3u);

  // one array alone is no pair: nothing is evaluated
  controller.test.writeArray<std::uint8_t>("/BeamBasedFeedback/AMPL/LIMIT_ACT", lastRegionLimited);
  controller.test.stepApplication();
  EXPECT_EQ(controller.status(), StatusOutput::OK);
  EXPECT_EQ(controller.resets(), 3u);
}

TEST(BbfStatus, TheNumberOfBeamRegionsComesFromTheConfiguration) {
  struct Case {
    std::optional<std::uint32_t> configured;
    std::size_t length;
  };
  for(auto c : {Case{4, 4}, Case{std::nullopt, 1}}) {
    Settings settings;
    settings.nMaxBeamRegions = c.configured;
    RunningBbf controller(settings);
    controller.start();
    EXPECT_EQ(controller.app.bbfStatus.nMaxBeamRegions, c.length);
    EXPECT_EQ(controller.test.readArray<std::uint8_t>("/BeamBasedFeedback/AMPL/LIMIT_ACT").size(), c.length);
  }
  Settings none;
  none.nMaxBeamRegions = 0;
  EXPECT_THROW(ControllerApp{none}, Corvane::logic_error);
}
