// The two sampling-scheme modules together, built in the application's order: the sampling
// frequency of the scheme places the flat-top and the sampling position, and a decimation
// change moves them.
#include "SamplingPosition.h"
#include "SamplingTestSupport.h"
#include "WindowLengthSetter.h"

#include <Corvane/Corvane.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

using namespace Corvane;
using sampling::TempConfig;

namespace {

  struct SchemeApp : Application {
    explicit SchemeApp(const std::string& configFile) : Application("samplingScheme"), config(this, ".", configFile) {}
    ConfigReader config;
    SamplingPosition samplingPosition{this, "Configuration/SamplingPosition",
        "Compute sampling frequencies depending on raw mode and daq decimation"};
    WindowLengthSetter windowLengthSetter{
        this, "WindowLengthSetter", "Configure DAQ/CTABLE window length through firmware decimation factors"};
  };

} // namespace

TEST(SamplingScheme, DecimationMovesTheSampleIndices) {
  TempConfig config({{"Configuration/samplingDecimation", {"uint32", "1"}},
      {"Configuration/IQdetectionLength", {"uint32", "4"}}, {"Configuration/clockFrequency", {"double", "40"}},
      {"Configuration/rfFrequency", {"double", "1300"}}, {"Configuration/instanceType", {"int32", "1"}},
      {"Configuration/pulseLength", {"uint32", "16384"}}});
  SchemeApp app(config.file());
  TestFacility test(app);
  test.setScalarDefault<double>("/Controller/PulseShape/delay", 50.);
  test.setScalarDefault<double>("/Controller/PulseShape/fillingDuration", 700.);
  test.setScalarDefault<double>("/Controller/PulseShape/flattopDuration", 650.);
  test.setScalarDefault<double>("/Configuration/SamplingPosition/offset", 100.);
  test.runApplication();

  struct Step {
    std::uint32_t decimation;
    std::uint32_t begin, end, index;
    double position;
  };
  // 10 MHz, 5 MHz, 2 MHz
  for(auto& s : {Step{1, 7500, 14000, 8500, 850.}, Step{2, 3750, 7000, 4250, 850.}, Step{5, 1500, 2800, 1700, 850.}}) {
    test.writeScalar<std::uint32_t>("/Configuration/samplingDecimation", s.decimation);
    test.stepApplication();
    EXPECT_EQ(test.readScalar<std::uint32_t>("/Configuration/flattopBeginIndex"), s.begin) << s.decimation;
    EXPECT_EQ(test.readScalar<std::uint32_t>("/Configuration/flattopEndIndex"), s.end) << s.decimation;
    EXPECT_EQ(test.readScalar<std::uint32_t>("/Configuration/SamplingPosition/index"), s.index) << s.decimation;
    EXPECT_DOUBLE_EQ(test.readScalar<double>("/Configuration/SamplingPosition/position"), s.position) << s.decimation;
  }
}
