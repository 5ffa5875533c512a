// The reference phase monitor inside an application: its variables, the circular mean, the
// deviation check (folding, strict comparison, the slave's remote reference, NaN phases), the
// status written only on changes, waiting for every channel, and its configuration.
#include "ReferencePhaseMonitor.h"
#include "StationConfig.h"

#include <Corvane/ConfigReader.h>
#include <Corvane/Corvane.h>
#include <Corvane/TestFacility.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Corvane;
using vectorsum::channelPath;
using vectorsum::StationConfig;

namespace {

  const std::string statusPath = "/ReferencePhaseMonitor/referencePhaseStatus";
  const std::string localPath = "/ReferencePhaseMonitor/localAverageReferencePhase";
  const std::string remotePath = "/ReferencePhaseMonitor/remoteAverageReferencePhase";
  constexpr float nan = std::numeric_limits<float>::quiet_NaN();
  constexpr std::int32_t OK = 0, FAULT = 1;

  struct MonitorApp : Application {
    explicit MonitorApp(const StationConfig& station)
    : Application(station.name()), config(this, ".", station.write()),
      monitor(this, "ReferencePhaseMonitor", "Reference Phse Monitor") {}
    ConfigReader config;
    ReferencePhaseMonitor monitor;
  };

  /// Writes the phase at the sampling position of every channel of board 0 and steps.
  void sendPhases(TestFacility& test, const std::vector<float>& phases, DataValidity validity = DataValidity::ok) {
    for(std::size_t c = 0; c < phases.size(); ++c) {
      test.variable(channelPath(0, c, "Samples/phase")).set(std::vector<float>{phases[c]}, VersionNumber{}, validity);
    }
    test.stepApplication();
  }

  TEST(ReferencePhaseMonitor, VariablesAndTheirMetadata) {
    StationConfig station("rpmVariables", {2, 1});
    MonitorApp app(station);
    TestFacility test(app);
    test.runApplication();
    auto& cs = app.getControlSystem();
    auto& status = cs.variable(statusPath);
    EXPECT_EQ(status.type(), DataType::int32);
    EXPECT_EQ(status.unit(), "");
    EXPECT_TRUE(status.tags().count("_Corvane_StatusOutput_statusOutput"));
    EXPECT_EQ(cs.variable(localPath).type(), DataType::float64);
    EXPECT_EQ(cs.variable(localPath).unit(), "deg");
    EXPECT_EQ(cs.variable(localPath).description(), "average of all reference phases connected to this server instance");
    EXPECT_TRUE(cs.variable(remotePath).isFedByControlSystem());
    EXPECT_EQ(cs.variable(remotePath).description(), "average of all reference phases from a remote server (master)");
    for(auto [b, c] : {std::pair{0, 0}, std::pair{0, 1}, std::pair{1, 0}}) {
      auto& phase = cs.variable(channelPath(b, c, "Samples/phase"));
      EXPECT_EQ(phase.type(), DataType::float32);
      EXPECT_EQ(phase.unit(), "deg");
      EXPECT_EQ(phase.description(), "Phase");
      EXPECT_TRUE(cs.variable(channelPath(b, c, "isReference")).isFedByControlSystem());
    }
    EXPECT_FALSE(cs.has(channelPath(1, 1, "isReference")));
  }

  struct Case {
    const char* name;
    int instanceType;
    double remote;
    double allowed;
    std::vector<int> isReference;
    std::vector<float> phases;
    double local; // NaN: not a number expected
    std::int32_t status;
  };

  TEST(ReferencePhaseMonitor, AverageAndDeviationCheck) {
    const std::vector<Case> cases{
        {"170 and -170 average to 180 and fold to +-10", 1, 0., 15., {1, 1}, {170.F, -170.F}, 180., OK},
        {"10 and 40 deviate by 15 from 25", 1, 0., 10., {1, 1}, {10.F, 40.F}, 25., FAULT},
        {"within the allowed difference", 1, 0., 16., {1, 1}, {10.F, 40.F}, 25., OK},
        {"unflagged channels are ignored", 1, 0., 10., {1, 0, 1}, {10.F, 100.F, 20.F}, 15., OK},
        {"only exactly 1 flags a reference", 1, 0., 1., {1, 2, -1}, {30.F, 100.F, -100.F}, 30., OK},
        {"no reference: NaN average, status OK", 1, 0., 1., {0, 0}, {10.F, 90.F}, nan, OK},
        {"slave compares with the remote value only", 2, 0., 178., {1, 1}, {179.F, -179.F}, 180., FAULT},
        {"slave: difference of exactly the allowed value", 2, 10., 10., {1}, {0.F}, 0., OK},
        {"slave: just beyond the allowed value", 2, 10., 9.999, {1}, {0.F}, 0., FAULT},
        {"slave: 170 against -170 folds to -20", 2, 170., 20., {1}, {-170.F}, -170., OK},
        {"slave: -170 against 170 folds to 20", 2, -170., 19.99, {1}, {170.F}, 170., FAULT},
        {"slave without reference channels", 2, 50., 1., {0}, {0.F}, nan, OK},
        {"a NaN phase is a deviation", 1, 0., 10., {1, 1}, {10.F, nan}, nan, FAULT},
        {"a NaN remote reference is a deviation", 2, std::nan(""), 10., {1}, {10.F}, 10., FAULT},
        {"an unflagged NaN phase is ignored", 1, 0., 10., {1, 0}, {10.F, nan}, 10., OK},
    };
    for(auto& check : cases) {
      SCOPED_TRACE(check.name);
      StationConfig station("rpmCheck", {static_cast<std::uint32_t>(check.phases.size())});
      station.set("Configuration/instanceType", "int32", std::to_string(check.instanceType));
      station.set("Configuration/allowedPhaseDifference", "double", std::to_string(check.allowed));
      MonitorApp app(station);
      TestFacility test(app);
      test.setScalarDefault(remotePath, check.remote);
      for(std::size_t c = 0; c < check.isReference.size(); ++c) {
        test.setScalarDefault(channelPath(0, c, "isReference"), check.isReference[c]);
      }
      test.runApplication();
      sendPhases(test, check.phases);

      auto local = test.readScalar<double>(localPath);
      if(std::isnan(check.local)) {
        EXPECT_TRUE(std::isnan(local)) << local;
      }
      else {
        EXPECT_NEAR(local, check.local, 1e-9);
      }
      EXPECT_EQ(test.readScalar<std::int32_t>(statusPath), check.status);
    }
  }

  TEST(ReferencePhaseMonitor, StatusIsWrittenOnlyWhenItOrTheValidityChanges) {
    StationConfig station("rpmWrites", {2});
    MonitorApp app(station);
    TestFacility test(app);
    test.setScalarDefault(channelPath(0, 0, "isReference"), 1);
    test.setScalarDefault(channelPath(0, 1, "isReference"), 1);
    test.runApplication();
    // the first pass on the initial values writes both
    auto statusWrites = test.updateCount(statusPath);
    auto localWrites = test.updateCount(localPath);
    EXPECT_EQ(statusWrites, 1U);
    EXPECT_EQ(localWrites, 1U);

    struct Step {
      std::vector<float> phases;
      DataValidity validity;
      std::int32_t status;
      bool statusWritten;
    };
    const std::vector<Step> steps{
        {{1.F, 2.F}, DataValidity::ok, OK, false},     // unchanged OK: not rewritten
        {{1.F, 30.F}, DataValidity::ok, FAULT, true},  // change written in the same cycle
        {{1.F, 40.F}, DataValidity::ok, FAULT, false}, // unchanged FAULT
        {{1.F, 40.F}, DataValidity::faulty, FAULT, true}, // same value, validity changed
        {{1.F, 40.F}, DataValidity::faulty, FAULT, false},
        {{1.F, 40.F}, DataValidity::ok, FAULT, true}, // validity back
        {{5.F, 6.F}, DataValidity::ok, OK, true},
    };
    for(std::size_t k = 0; k < steps.size(); ++k) {
      SCOPED_TRACE("step " + std::to_string(k));
      sendPhases(test, steps[k].phases, steps[k].validity);
      EXPECT_EQ(test.readScalar<std::int32_t>(statusPath), steps[k].status);
      EXPECT_EQ(test.updateCount(statusPath), statusWrites + (steps[k].statusWritten ? 1 : 0));
      if(steps[k].statusWritten) {
        EXPECT_EQ(test.getValidity(statusPath), steps[k].validity);
      }
      statusWrites = test.updateCount(statusPath);
      // the average is written on every pulse
      EXPECT_EQ(test.updateCount(localPath), ++localWrites);
    }
  }

  TEST(ReferencePhaseMonitor, WaitsForTheSamplesOfEveryChannel) {
    StationConfig station("rpmWaits", {2, 1});
    MonitorApp app(station);
    TestFacility test(app);
    test.setScalarDefault(channelPath(0, 0, "isReference"), 1);
    test.runApplication();
    auto localWrites = test.updateCount(localPath);

    test.writeScalar(channelPath(0, 0, "Samples/phase"), 12.F);
    test.writeScalar(channelPath(0, 1, "Samples/phase"), 0.F);
    // flags and the remote value are polled: they never start a cycle
    test.writeScalar(channelPath(1, 0, "isReference"), 1);
    test.writeScalar(remotePath, 3.);
    test.stepApplication();
    EXPECT_EQ(test.updateCount(localPath), localWrites);

    // the last channel, on another board, completes the pulse; its new flag is taken
    test.writeScalar(channelPath(1, 0, "Samples/phase"), 14.F);
    test.stepApplication();
    EXPECT_EQ(test.updateCount(localPath), localWrites + 1);
    EXPECT_NEAR(test.readScalar<double>(localPath), 13., 1e-9);
  }

  TEST(ReferencePhaseMonitor, WithoutChannelsPublishesOnceAndEnds) {
    StationConfig station("rpmNoChannel", {0});
    MonitorApp app(station);
    TestFacility test(app);
    test.runApplication(); // would not become idle if the loop spun on nothing to wait for
    EXPECT_EQ(test.readScalar<std::int32_t>(statusPath), OK);
    EXPECT_TRUE(std::isnan(test.readScalar<double>(localPath)));
    EXPECT_EQ(test.updateCount(localPath), 1U);
  }

  TEST(ReferencePhaseMonitor, ConfigurationErrors) {
    // construction needs the board layout and the instance type
    for(auto key : {"Configuration/nAdcBoards", "Configuration/AdcBoard0/nChannels", "Configuration/instanceType"}) {
      StationConfig station("rpmConfig", {1});
      station.remove(key);
      EXPECT_THROW(MonitorApp app(station), Corvane::logic_error) << key;
    }
    // the allowed difference is read when the thread starts, and its absence ends the application
    StationConfig station("rpmAllowed", {1});
    station.remove("Configuration/allowedPhaseDifference");
    MonitorApp app(station);
    TestFacility test(app);
    try {
      test.runApplication();
      ADD_FAILURE() << "the module started without Configuration/allowedPhaseDifference";
    }
    catch(Corvane::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find("ReferencePhaseMonitor"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("allowedPhaseDifference"), std::string::npos) << e.what();
    }
  }

} // namespace
