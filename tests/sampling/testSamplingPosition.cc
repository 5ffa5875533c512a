// The global sampling position: flat-top indices and sampling index for pulsed and continuous-
// wave timing, rounding and limits, timings outside the 32-bit sample ranges, inputs that are not
// numbers, and which outputs are rewritten on a change.
#include "SamplingPosition.h"
#include "SamplingTestSupport.h"

#include <Corvane/Corvane.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

using namespace Corvane;
using sampling::LogCapture;
using sampling::TempConfig;

namespace {

  const std::string offsetPath = "/Configuration/SamplingPosition/offset";
  const std::string frequencyPath = "/Configuration/samplingFrequency";
  const std::string cwModePath = "/Controller/PulseShape/cwMode";
  const std::string delayPath = "/Controller/PulseShape/delay";
  const std::string fillingPath = "/Controller/PulseShape/fillingDuration";
  const std::string flattopPath = "/Controller/PulseShape/flattopDuration";
  const std::string indexPath = "/Configuration/SamplingPosition/index";
  const std::string positionPath = "/Configuration/SamplingPosition/position";
  const std::string beginPath = "/Configuration/flattopBeginIndex";
  const std::string endPath = "/Configuration/flattopEndIndex";

  constexpr std::uint32_t top = std::numeric_limits<std::uint32_t>::max();
  const double notANumber = std::numeric_limits<double>::quiet_NaN();
  const double infinity = std::numeric_limits<double>::infinity();

  struct PositionApp : Application {
    explicit PositionApp(const std::string& configFile)
    : Application("samplingPosition"), config(this, ".", configFile) {}
    ConfigReader config;
    SamplingPosition position{this, "Configuration/SamplingPosition",
        "Compute sampling frequencies depending on raw mode and daq decimation"};
  };

  sampling::Keys keys(std::uint32_t pulseLength) {
    return {{"Configuration/pulseLength", {"uint32", std::to_string(pulseLength)}}};
  }

  using Timing = SamplingPosition::Timing;

  void setDefaults(TestFacility& test, const Timing& t) {
    test.setScalarDefault<double>(frequencyPath, t.samplingFrequency);
    test.setScalarDefault<std::int32_t>(cwModePath, t.cwMode);
    test.setScalarDefault<double>(delayPath, t.delay);
    test.setScalarDefault<double>(fillingPath, t.fillingDuration);
    test.setScalarDefault<double>(flattopPath, t.flattopDuration);
    test.setScalarDefault<double>(offsetPath, t.offset);
  }

  struct Expected {
    std::uint32_t begin, end, index;
    double position;
  };

  void expectPoints(TestFacility& test, const Expected& e, const std::string& name) {
    EXPECT_EQ(test.readScalar<std::uint32_t>(beginPath), e.begin) << name;
    EXPECT_EQ(test.readScalar<std::uint32_t>(endPath), e.end) << name;
    EXPECT_EQ(test.readScalar<std::uint32_t>(indexPath), e.index) << name;
    EXPECT_DOUBLE_EQ(test.readScalar<double>(positionPath), e.position) << name;
  }

  struct Case {
    std::string name;
    std::uint32_t pulseLength;
    Timing timing; // fs, cwMode, delay, filling, flat-top, offset
    Expected expected;
  };

  const std::vector<Case> cases{
      {"pulsed", 16384, {10., 0, 50., 700., 650., 0.}, {7500, 14000, 7500, 750.}},
      {"begin rounds up, end down, end kept at begin", 16384, {1., 0, 7500.2, 0., 0.7, 0.}, {7501, 7501, 7501, 7501.}},
      {"flat-top 0", 16384, {10., 0, 10.05, 0., 0., 0.}, {101, 101, 101, 10.1}},
      {"continuous wave", 16384, {10., 1, 50., 700., 650., 0.}, {0, 16383, 0, 0.}},
      {"continuous wave ignores any durations", 16384, {10., -1, -1e300, notANumber, infinity, 0.}, {0, 16383, 0, 0.}},
      {"offset rounds half away from zero, up", 1000, {1., 0, 100., 0., 50., 2.5}, {100, 150, 103, 103.}},
      {"offset rounds half away from zero, down", 1000, {1., 0, 100., 0., 50., -2.5}, {100, 150, 97, 97.}},
      {"offset beyond the end", 1000, {2., 0, 100., 0., 50., 1e4}, {200, 300, 999, 499.5}},
      {"offset before the start", 1000, {2., 0, 100., 0., 50., -101.}, {200, 300, 0, 0.}},
      {"indices beyond the pulse are not limited", 1000, {1., 0, 900., 50., 200., 0.}, {950, 1150, 950, 950.}},
      {"index on the last sample", 1000, {1., 0, 900., 50., 200., 49.}, {950, 1150, 999, 999.}},
      {"pulse of one sample", 1, {1., 0, 3., 0., 2., -1.}, {3, 5, 0, 0.}},
      // sample counts outside the 32-bit ranges: saturated and limited, never wrapped
      {"flat-top before the trigger starts at 0", 1000, {1., 0, -100., 50., 20., 0.}, {0, 0, 0, 0.}},
      {"flat-top reaching past the trigger", 1000, {1., 0, -100., 50., 200., 5.}, {0, 150, 5, 5.}},
      {"flat-top beyond 2^32 samples", 1000, {1000., 0, 5e6, 0., 1., 0.}, {top, top, 999, 0.999}},
      {"offset of 2^31 samples and more", 1000, {1., 0, 10., 0., 10., 3e9}, {10, 20, 999, 999.}},
      {"offset of -2^31 samples and less", 1000, {1., 0, 10., 0., 10., -3e9}, {10, 20, 0, 0.}},
      {"flat-top start of 2^31 samples and more", 1000, {1., 0, 3e9, 0., 10., -3e9 + 5.},
          {3000000000u, 3000000010u, 5, 5.}},
  };

} // namespace

TEST(SamplingPosition, PointsForTimings) {
  for(auto& c : cases) {
    TempConfig config(keys(c.pulseLength));
    PositionApp app(config.file());
    TestFacility test(app);
    setDefaults(test, c.timing);
    test.runApplication();
    expectPoints(test, c.expected, c.name);
    EXPECT_EQ(test.getValidity(indexPath), DataValidity::ok) << c.name;
  }
}

TEST(SamplingPosition, ChangesFollowEveryInput) {
  TempConfig config(keys(16384));
  PositionApp app(config.file());
  TestFacility test(app);
  setDefaults(test, {10., 0, 50., 700., 650., 0.});
  test.runApplication();
  struct Step {
    std::string path;
    double value;
    Expected expected;
  };
  for(auto& s : std::vector<Step>{
          {offsetPath, 10., {7500, 14000, 7600, 760.}},
          {frequencyPath, 5., {3750, 7000, 3800, 760.}},
          {delayPath, 150., {4250, 7500, 4300, 860.}},
          {fillingPath, 600., {3750, 7000, 3800, 760.}},
          {flattopPath, 100., {3750, 4250, 3800, 760.}},
          {cwModePath, 1., {0, 16383, 50, 10.}},
          {cwModePath, 0., {3750, 4250, 3800, 760.}},
      }) {
    if(s.path == cwModePath) test.writeScalar<std::int32_t>(s.path, static_cast<std::int32_t>(s.value));
    else test.writeScalar<double>(s.path, s.value);
    test.stepApplication();
    expectPoints(test, s.expected, s.path + " = " + std::to_string(s.value));
  }
}

TEST(SamplingPosition, FlattopIndicesAreRewrittenOnEveryChangeTheIndexOnlyWhenItChanges) {
  TempConfig config(keys(16384));
  PositionApp app(config.file());
  TestFacility test(app);
  setDefaults(test, {10., 0, 50., 700., 650., 0.});
  test.runApplication();
  const std::vector<std::string> outputs{beginPath, endPath, indexPath, positionPath};
  auto counts = [&] {
    std::vector<std::uint64_t> n;
    for(auto& path : outputs) n.push_back(test.updateCount(path));
    return n;
  };
  EXPECT_EQ(counts(), (std::vector<std::uint64_t>{1, 1, 1, 1}));
  // the flat-top end moves by less than a sample: nothing changes, the indices are sent anyway
  test.writeScalar<double>(flattopPath, 650.01);
  test.stepApplication();
  EXPECT_EQ(counts(), (std::vector<std::uint64_t>{2, 2, 1, 1}));
  // an offset below half a sample keeps the index
  test.writeScalar<double>(offsetPath, 0.04);
  test.stepApplication();
  EXPECT_EQ(counts(), (std::vector<std::uint64_t>{3, 3, 1, 1}));
  test.writeScalar<double>(offsetPath, 0.06);
  test.stepApplication();
  EXPECT_EQ(counts(), (std::vector<std::uint64_t>{4, 4, 2, 2}));
  expectPoints(test, {7500, 14000, 7501, 750.1}, "one sample later");
}

TEST(SamplingPosition, InputsWithoutANumberMarkTheOutputsInvalid) {
  struct Case {
    std::string name;
    std::string path;
    double value;
  };
  const std::vector<Case> cases{{"frequency NaN", frequencyPath, notANumber}, {"frequency 0", frequencyPath, 0.},
      {"frequency negative", frequencyPath, -10.}, {"frequency infinite", frequencyPath, infinity},
      {"offset NaN", offsetPath, notANumber}, {"offset infinite", offsetPath, -infinity},
      {"delay NaN", delayPath, notANumber}, {"filling infinite", fillingPath, infinity},
      {"flat-top NaN", flattopPath, notANumber}};
  for(auto& c : cases) {
    LogCapture log("SamplingPosition");
    TempConfig config(keys(16384));
    PositionApp app(config.file());
    TestFacility test(app);
    setDefaults(test, {10., 0, 50., 700., 650., 0.});
    test.runApplication();

    test.writeScalar<double>(c.path, c.value);
    test.stepApplication();
    // the last good values stay, marked invalid
    expectPoints(test, {7500, 14000, 7500, 750.}, c.name);
    for(auto& path : {beginPath, endPath, indexPath, positionPath}) {
      EXPECT_EQ(test.getValidity(path), DataValidity::faulty) << c.name << " " << path;
    }
    EXPECT_EQ(log.take().size(), 1u) << c.name;

    // one warning for the whole time the inputs stay unusable
    test.writeScalar<double>(c.path, c.value);
    test.stepApplication();
    EXPECT_TRUE(log.take().empty()) << c.name;

    test.writeScalar<double>(c.path, c.path == frequencyPath ? 5. : 0.);
    test.stepApplication();
    for(auto& path : {beginPath, endPath, indexPath, positionPath}) {
      EXPECT_EQ(test.getValidity(path), DataValidity::ok) << c.name << " " << path;
    }
  }
}

TEST(SamplingPosition, UnusableTimingAtStartPublishesInvalidZeros) {
  TempConfig config(keys(16384));
  PositionApp app(config.file());
  TestFacility test(app);
  setDefaults(test, {0., 0, 50., 700., 650., 0.}); // no sampling frequency yet
  test.runApplication();
  expectPoints(test, {0, 0, 0, 0.}, "start");
  EXPECT_EQ(test.getValidity(indexPath), DataValidity::faulty);
  test.writeScalar<double>(frequencyPath, 10.);
  test.stepApplication();
  expectPoints(test, {7500, 14000, 7500, 750.}, "with a frequency");
  EXPECT_EQ(test.getValidity(indexPath), DataValidity::ok);
}

TEST(SamplingPosition, PulseLengthZeroIsAConfigurationError) {
  TempConfig config(keys(0));
  try {
    PositionApp app(config.file());
    FAIL() << "constructed";
  }
  catch(Corvane::logic_error& e) {
    EXPECT_NE(std::string(e.what()).find("Configuration/pulseLength"), std::string::npos) << e.what();
  }
}

TEST(SamplingPosition, VariableLayout) {
  TempConfig config(keys(16384));
  PositionApp app(config.file());
  TestFacility test(app);
  setDefaults(test, {10., 0, 50., 700., 650., 0.});
  test.runApplication();
  struct Case {
    std::string path, unit, description;
    bool daq;
  };
  for(auto& c : std::vector<Case>{
          {offsetPath, "us", "Offset w.r.t. the beginning of the region", true},
          {positionPath, "us", "Global sampling position including the offset", true},
          {indexPath, "", "Sample index of the global sampling position", true},
          {beginPath, "", "Sample index of flattop start", false},
          {endPath, "", "Sample index of flattop end", false},
          {cwModePath, "", "If true, the pulse form parameters will be changed for contineous-wave operation", false},
          {delayPath, "us", "Delay of pulse start after trigger", false},
          {fillingPath, "us", "Duration of the filling period", false},
          {flattopPath, "us", "Duration of the flat-top period", false},
      }) {
    EXPECT_EQ(test.variable(c.path).unit(), c.unit) << c.path;
    EXPECT_EQ(test.variable(c.path).description(), c.description) << c.path;
    EXPECT_EQ(test.variable(c.path).tags().count("DAQ"), c.daq ? 1u : 0u) << c.path;
  }
}
