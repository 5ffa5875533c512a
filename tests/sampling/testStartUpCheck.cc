// The sampling scheme's start-up check: the framed report on standard error and exit status 1
// for clock settings out of range, and the boundary values that start normally.
#include "SamplingTestSupport.h"
#include "WindowLengthSetter.h"

#include <Corvane/Corvane.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

using namespace Corvane;
using sampling::Keys;
using sampling::TempConfig;

namespace {

  const std::string frame(95, '*');
  const std::string title = " Configuration parameters out of range:";

  struct Clock {
    std::uint32_t iqDetectionLength;
    double clockFrequency;
    double rfFrequency;
  };

  std::string text(double value) {
    std::ostringstream out;
    out.precision(17);
    out << value;
    return out.str();
  }

  Keys keys(const Clock& clock) {
    return {{"Configuration/samplingDecimation", {"uint32", "1"}},
        {"Configuration/IQdetectionLength", {"uint32", std::to_string(clock.iqDetectionLength)}},
        {"Configuration/clockFrequency", {"double", text(clock.clockFrequency)}},
        {"Configuration/rfFrequency", {"double", text(clock.rfFrequency)}},
        {"Configuration/instanceType", {"int32", "1"}}, {"Configuration/pulseLength", {"uint32", "1000"}}};
  }

  struct StartUpApp : Application {
    explicit StartUpApp(const std::string& configFile) : Application("startUpCheck"), config(this, ".", configFile) {}
    ConfigReader config;
    WindowLengthSetter setter{
        this, "WindowLengthSetter", "Configure DAQ/CTABLE window length through firmware decimation factors"};
  };

  void runStation(const Clock& clock) {
    TempConfig config(keys(clock));
    StartUpApp app(config.file());
    TestFacility test(app);
    test.runApplication();
  }

  /// A regular expression that matches `literal` and nothing else.
  std::string escaped(const std::string& literal) {
    std::string out;
    for(char c : literal) {
      if(std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) out += '\\';
      out += c;
    }
    return out;
  }

  struct StartUpCase {
    std::string name;
    Clock clock;
    std::vector<std::string> lines; // between the title and the closing frame
  };

  const double nanFrequency = std::numeric_limits<double>::quiet_NaN();

  const std::vector<StartUpCase> outOfRange{
      {"length 0", {0, 100., 1300.}, {" iQdetectionLength must be non-zero"}},
      {"length 1001", {1001, 100., 1300.}, {" iQdetectionLength out of range."}},
      {"clock 0.5", {4, 0.5, 1300.}, {" clockFrequency = 0.5 MHz seems not to be valid."}},
      {"RF 0.5", {4, 100., 0.5}, {" rfFrequency = 0.5 MHz seems not to be valid."}},
      // an RF frequency below 10 MHz is listed once another check stops start-up
      {"length 0 with RF 5", {0, 100., 5.},
          {" iQdetectionLength must be non-zero", " rfFrequency = 5 MHz seems not to be valid."}},
      {"everything", {0, 0.25, 2.5},
          {" iQdetectionLength must be non-zero", " clockFrequency = 0.25 MHz seems not to be valid.",
              " rfFrequency = 2.5 MHz seems not to be valid."}},
      {"six significant digits", {1001, 0.123456789, 1300.},
          {" iQdetectionLength out of range.", " clockFrequency = 0.123457 MHz seems not to be valid."}},
      // a clock that is not a number would make every derived frequency NaN (the configuration
      // file refuses such values already; the check does not rely on it)
      {"clock NaN", {4, nanFrequency, 1300.}, {" clockFrequency = nan MHz seems not to be valid."}},
      {"clock infinite", {4, std::numeric_limits<double>::infinity(), 1300.},
          {" clockFrequency = inf MHz seems not to be valid."}},
      {"RF NaN", {4, 100., nanFrequency}, {" rfFrequency = nan MHz seems not to be valid."}},
  };

  std::vector<std::string> framed(const std::vector<std::string>& lines) {
    std::vector<std::string> all{frame, title};
    all.insert(all.end(), lines.begin(), lines.end());
    all.push_back(frame);
    return all;
  }

} // namespace

TEST(StartUpCheck, ReportLines) {
  for(auto& c : outOfRange) {
    EXPECT_EQ(WindowLengthSetter::configurationReport(c.clock.iqDetectionLength, c.clock.clockFrequency,
                  c.clock.rfFrequency),
        framed(c.lines))
        << c.name;
  }
}

TEST(StartUpCheckDeathTest, OutOfRangeEndsTheProcessWithStatus1) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for(auto& c : outOfRange) {
    if(!std::isfinite(c.clock.clockFrequency) || !std::isfinite(c.clock.rfFrequency)) continue;
    std::string report;
    for(auto& line : framed(c.lines)) report += line + "\n";
    EXPECT_EXIT(runStation(c.clock), ::testing::ExitedWithCode(1), escaped(report)) << c.name;
  }
}

TEST(StartUpCheck, BoundaryValuesStart) {
  for(auto& clock : {Clock{1000, 100., 1300.}, Clock{1, 1.0, 1.0}, Clock{4, 100., 5.}, Clock{4, 100., 10.}}) {
    EXPECT_TRUE(WindowLengthSetter::configurationReport(clock.iqDetectionLength, clock.clockFrequency,
        clock.rfFrequency)
                    .empty());
    TempConfig config(keys(clock));
    StartUpApp app(config.file());
    TestFacility test(app);
    test.runApplication();
    EXPECT_DOUBLE_EQ(test.readScalar<double>("/Configuration/samplingFrequency"),
        clock.clockFrequency / clock.iqDetectionLength);
  }
}
