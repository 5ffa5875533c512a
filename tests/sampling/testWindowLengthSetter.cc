// The sampling scheme: outputs for given decimations, the decimation rules with write-back to the
// sender, the gain-table copy per instance type, and the start-up check that ends the process.
#include "SamplingTestSupport.h"
#include "WindowLengthSetter.h"

#include <Corvane/Corvane.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <sstream>

using namespace Corvane;
using sampling::Keys;
using sampling::LogCapture;
using sampling::TempConfig;

namespace {

  const std::string decimationPath = "/Configuration/samplingDecimation";
  const std::string windowFrequencyPath = "/Configuration/samplingFrequency";
  const std::string gainTableCopyPath = "/Configuration/samplingFrequency_for_GainTable";
  const std::string timePath = "/Configuration/samplingTime";
  const std::string windowPath = "/Configuration/windowLength";
  const std::string dividerControllerPath = "/SamplingScheme/timingDividerController";
  const std::string dividerTablesPath = "/SamplingScheme/timingDividerTables";
  const std::string feedForwardPath = "/Controller/FeedForward/enable";
  const std::string feedBackPath = "/Controller/FeedBack/enable";
  const std::string windowCwModePath = "/Controller/PulseShape/cwMode";

  const std::string zeroMessage = "Sampling decimation factor must not be zero.";
  const std::string rfOnMessage = "Sampling decimation factor cannot be changed with RF on in pulsed mode.";
  const std::string overflowMessage =
      "Sampling decimation factor times IQ detection length must not exceed 4294967295.";

  std::string windowText(double value) {
    std::ostringstream out;
    out.precision(17);
    out << value;
    return out.str();
  }

  struct Station {
    std::uint32_t decimation{3};
    std::uint32_t iqDetectionLength{4};
    double clockFrequency{120.};
    double rfFrequency{1300.};
    std::int32_t instanceType{1};
    std::uint32_t pulseLength{16384};

    Keys keys() const {
      return {{"Configuration/samplingDecimation", {"uint32", std::to_string(decimation)}},
          {"Configuration/IQdetectionLength", {"uint32", std::to_string(iqDetectionLength)}},
          {"Configuration/clockFrequency", {"double", windowText(clockFrequency)}},
          {"Configuration/rfFrequency", {"double", windowText(rfFrequency)}},
          {"Configuration/instanceType", {"int32", std::to_string(instanceType)}},
          {"Configuration/pulseLength", {"uint32", std::to_string(pulseLength)}}};
    }
  };

  struct WindowApp : Application {
    explicit WindowApp(const std::string& configFile) : Application("samplingScheme"), config(this, ".", configFile) {}
    ConfigReader config;
    WindowLengthSetter setter{
        this, "WindowLengthSetter", "Configure DAQ/CTABLE window length through firmware decimation factors"};
  };

  /// RF state of the controller as the sampling scheme sees it.
  struct RfState {
    std::int32_t cwMode;
    bool feedForward;
    bool feedBack;
  };

  void setRfDefaults(TestFacility& test, const RfState& rf) {
    test.setScalarDefault<std::int32_t>(windowCwModePath, rf.cwMode);
    test.setScalarDefault<Boolean>(feedForwardPath, rf.feedForward);
    test.setScalarDefault<Boolean>(feedBackPath, rf.feedBack);
  }

  void setRf(TestFacility& test, const RfState& rf) {
    test.writeScalar<std::int32_t>(windowCwModePath, rf.cwMode);
    test.writeScalar<Boolean>(feedForwardPath, rf.feedForward);
    test.writeScalar<Boolean>(feedBackPath, rf.feedBack);
    test.stepApplication();
  }

  /// Every output as it must be for decimation D on a station with IQ detection length L.
  void expectScheme(TestFacility& test, const Station& station, std::uint32_t decimation, const std::string& name) {
    const std::uint64_t clocks = std::uint64_t{decimation} * station.iqDetectionLength;
    const double frequency = station.clockFrequency / static_cast<double>(clocks);
    EXPECT_EQ(test.readScalar<std::uint32_t>(decimationPath), decimation) << name;
    EXPECT_DOUBLE_EQ(test.readScalar<double>(windowFrequencyPath), frequency) << name;
    EXPECT_EQ(test.readScalar<std::uint32_t>(dividerControllerPath), clocks - 1) << name;
    EXPECT_EQ(test.readScalar<std::uint32_t>(dividerTablesPath), clocks - 1) << name;
    EXPECT_DOUBLE_EQ(test.readScalar<double>(timePath), 1.0 / frequency) << name;
    EXPECT_DOUBLE_EQ(test.readScalar<double>(windowPath),
        static_cast<double>(station.pulseLength) * static_cast<double>(clocks) / station.clockFrequency / 1000.0)
        << name;
    EXPECT_EQ(test.readScalar<double>(gainTableCopyPath), test.readScalar<double>(windowFrequencyPath)) << name;
  }

} // namespace

TEST(WindowLengthSetter, StartUpValues) {
  struct Case {
    std::string name;
    Station station;
    RfState rf;
    std::uint32_t decimation; // in use after the first check
    std::vector<std::string> log;
  };
  const RfState rfOff{0, false, false};
  const RfState rfOnPulsed{0, true, true};
  std::vector<Case> cases{
      {"3 x 4", {3, 4, 120.}, rfOff, 3, {}},
      {"1 x 1 gives dividers 0", {1, 1, 100.}, rfOff, 1, {}},
      {"odd clock", {7, 9, 81.25}, rfOff, 7, {}},
      {"0 is replaced by 1", {0, 4, 120.}, rfOff, 1, {zeroMessage}},
      {"largest product that fits 32 bits", {1073741823, 4, 120.}, rfOff, 1073741823, {}},
      {"product beyond 32 bits is replaced by 1", {1073741824, 4, 120.}, rfOff, 1, {overflowMessage}},
      {"product beyond 32 bits with length 1000", {4294968, 1000, 120.}, rfOff, 1, {overflowMessage}},
      // a restart with RF on keeps the decimation the station ran with
      {"restored decimation kept with RF on in pulsed mode", {5, 4, 120.}, rfOnPulsed, 5, {}},
      {"0 with RF on in pulsed mode", {0, 4, 120.}, rfOnPulsed, 1, {zeroMessage}},
  };
  for(auto& c : cases) {
    LogCapture log("WindowLengthSetter");
    TempConfig config(c.station.keys());
    WindowApp app(config.file());
    TestFacility test(app);
    setRfDefaults(test, c.rf);
    test.runApplication();
    expectScheme(test, c.station, c.decimation, c.name);
    EXPECT_EQ(log.take(), c.log) << c.name;
  }
}

TEST(WindowLengthSetter, DecimationChangesFollowTheRules) {
  struct Case {
    std::string name;
    RfState rf;
    std::uint32_t request;
    std::uint32_t decimation; // in use afterwards
    std::vector<std::string> log;
  };
  std::vector<Case> cases{
      {"RF off", {0, false, false}, 6, 6, {}},
      {"feed-forward on, pulsed", {0, true, false}, 6, 3, {rfOnMessage}},
      {"feedback on, pulsed", {0, false, true}, 6, 3, {rfOnMessage}},
      {"both on, pulsed", {0, true, true}, 6, 3, {rfOnMessage}},
      {"both on, continuous wave", {1, true, true}, 6, 6, {}},
      {"continuous wave with any non-zero mode", {-2, true, false}, 6, 6, {}},
      {"rewriting the accepted value with RF on is no change", {0, true, true}, 3, 3, {}},
      {"zero", {0, false, false}, 0, 3, {zeroMessage}},
      // the restore of the first failing rule satisfies the second
      {"zero with RF on", {0, true, false}, 0, 3, {zeroMessage}},
      {"product beyond 32 bits", {1, false, false}, 1073741824, 3, {overflowMessage}},
      {"largest product", {1, false, false}, 1073741823, 1073741823, {}},
  };
  const Station station;
  for(auto& c : cases) {
    LogCapture log("WindowLengthSetter");
    TempConfig config(station.keys());
    WindowApp app(config.file());
    TestFacility test(app);
    setRfDefaults(test, {0, false, false});
    test.runApplication();
    setRf(test, c.rf);
    auto updates = test.updateCount(decimationPath);

    test.writeScalar<std::uint32_t>(decimationPath, c.request);
    test.stepApplication();
    expectScheme(test, station, c.decimation, c.name);
    // a rejected value is written back to its sender: the operator's write plus the restore
    bool rejected = c.decimation != c.request;
    EXPECT_EQ(test.updateCount(decimationPath), updates + (rejected ? 2 : 1)) << c.name;
    EXPECT_EQ(log.take(), c.log) << c.name;
  }
}

TEST(WindowLengthSetter, RejectedChangeReturnsToTheLastAcceptedValue) {
  const Station station;
  LogCapture log("WindowLengthSetter");
  TempConfig config(station.keys());
  WindowApp app(config.file());
  TestFacility test(app);
  setRfDefaults(test, {0, false, false});
  test.runApplication();
  test.writeScalar<std::uint32_t>(decimationPath, 8);
  test.stepApplication();
  setRf(test, {0, true, false});
  test.writeScalar<std::uint32_t>(decimationPath, 2);
  test.stepApplication();
  expectScheme(test, station, 8, "back to 8, not to the start value 3");
  setRf(test, {0, false, false});
  test.writeScalar<std::uint32_t>(decimationPath, 2);
  test.stepApplication();
  expectScheme(test, station, 2, "accepted once RF is off");
  auto messages = log.messages();
  ASSERT_EQ(messages.size(), 1u);
  // the line names its source once, in brackets, then the rule's text
  auto line = Logger::format(messages[0]);
  EXPECT_TRUE(line.ends_with(" WARNING [WindowLengthSetter] " + rfOnMessage)) << line;
  EXPECT_EQ(line.find("WindowLengthSetter"), line.rfind("WindowLengthSetter")) << line;
}

TEST(WindowLengthSetter, RfStateAloneWritesNothing) {
  const Station station;
  TempConfig config(station.keys());
  WindowApp app(config.file());
  TestFacility test(app);
  setRfDefaults(test, {0, false, false});
  test.runApplication();
  const std::vector<std::string> outputs{
      windowFrequencyPath, gainTableCopyPath, timePath, windowPath, dividerControllerPath, dividerTablesPath};
  std::vector<std::uint64_t> counts;
  for(auto& path : outputs) counts.push_back(test.updateCount(path));
  EXPECT_EQ(counts, std::vector<std::uint64_t>(outputs.size(), 1)) << "written once at start";

  for(RfState rf : {RfState{0, true, false}, RfState{0, true, true}, RfState{1, true, true}, RfState{0, false, false}})
    setRf(test, rf);
  for(std::size_t i = 0; i < outputs.size(); ++i) EXPECT_EQ(test.updateCount(outputs[i]), counts[i]) << outputs[i];
  expectScheme(test, station, 3, "unchanged");
}

TEST(WindowLengthSetter, GainTableCopyExistsOnlyWhereAGainTableRuns) {
  struct Case {
    std::int32_t instanceType;
    bool copy;
  };
  for(auto c : {Case{1, true}, Case{2, false}, Case{3, true}, Case{4, false}, Case{0, true}, Case{-1, true}}) {
    Station station;
    station.instanceType = c.instanceType;
    TempConfig config(station.keys());
    WindowApp app(config.file());
    TestFacility test(app);
    setRfDefaults(test, {0, false, false});
    test.runApplication();
    EXPECT_EQ(app.getControlSystem().has(gainTableCopyPath), c.copy) << "instance type " << c.instanceType;
    if(c.copy) {
      EXPECT_EQ(test.readScalar<double>(gainTableCopyPath), 10.0);
      EXPECT_EQ(test.variable(gainTableCopyPath).unit(), "MHz");
    }
    EXPECT_EQ(test.readScalar<double>(windowFrequencyPath), 10.0);
  }
}

TEST(WindowLengthSetter, WrittenBackCopyDoesNotWakeTheScheme) {
  // The gain table writes its copy of the frequency back when it rejects it: the copy then
  // differs from the frequency, and the scheme must not answer with a write of its own.
  const Station station;
  TempConfig config(station.keys());
  WindowApp app(config.file());
  TestFacility test(app);
  setRfDefaults(test, {0, false, false});
  test.runApplication();
  test.writeScalar<double>(gainTableCopyPath, 1.0);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<double>(gainTableCopyPath), 1.0);
  EXPECT_EQ(test.readScalar<double>(windowFrequencyPath), 10.0);
  EXPECT_EQ(test.updateCount(windowFrequencyPath), 1u);
  // the next decimation change publishes the new frequency to both
  test.writeScalar<std::uint32_t>(decimationPath, 6);
  test.stepApplication();
  EXPECT_EQ(test.readScalar<double>(windowFrequencyPath), 5.0);
  EXPECT_EQ(test.readScalar<double>(gainTableCopyPath), 5.0);
}

TEST(WindowLengthSetter, VariableMetadata) {
  const Station station;
  TempConfig config(station.keys());
  WindowApp app(config.file());
  TestFacility test(app);
  test.runApplication();
  struct Case {
    std::string path, unit;
    bool daq;
  };
  for(auto& c : {Case{decimationPath, "", true}, Case{windowFrequencyPath, "MHz", false}, Case{timePath, "us", false},
          Case{windowPath, "ms", false}, Case{dividerControllerPath, "", false}, Case{dividerTablesPath, "", false}}) {
    EXPECT_EQ(test.variable(c.path).unit(), c.unit) << c.path;
    EXPECT_EQ(test.variable(c.path).tags().count("DAQ"), c.daq ? 1u : 0u) << c.path;
  }
  EXPECT_EQ(test.variable(windowFrequencyPath).description(),
      "IQ sampling frequency as used for the ADC and controller channels as well as the controller tables");
  EXPECT_EQ(test.variable(timePath).description(), "Inverse of samplingFrequency");
  EXPECT_EQ(test.variable(windowPath).description(), "Window length of ADC/controller data and tables");
  EXPECT_EQ(test.variable(dividerControllerPath).description(), "Frequency divider used for controller DAQ");
  EXPECT_EQ(test.variable(dividerTablesPath).description(), "Frequency divider used for control tables");
  // operators write the decimation; the frequency takes writes back too
  EXPECT_TRUE(test.variable(decimationPath).isWritable());
  EXPECT_TRUE(test.variable(windowFrequencyPath).isWritable());
  EXPECT_FALSE(test.variable(windowPath).isWritable());
}
