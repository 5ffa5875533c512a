// InvalidityTracer: on each write of "printTrace" the faulty process variables are listed on
// standard output, one line each with path and version; valid ones are not.
#include <Corvane/Corvane.h>
#include <Corvane/InvalidityTracer.h>
#include <Corvane/ScalarPipe.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

using namespace Corvane;

namespace {

  struct TracerServer : ModuleGroup {
    using ModuleGroup::ModuleGroup;
    InvalidityTracer tracer{this, "InvalidityTracer", "Debug tool to trace invalid data in the server."};
  };

  struct TracerApp : Application {
    TracerApp() : Application("tracerTest") {}
    TracerServer server{this, "Server", "Server information"};
    ScalarPipe<double> pipe{this, "Pipe", "/Signal/raw", "/Signal/forwarded", "", ""};
    ScalarPipe<double> other{this, "Other", "/Other/raw", "/Other/forwarded", "", ""};
  };

  std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for(std::string line; std::getline(in, line);) result.push_back(line);
    return result;
  }

  /// Output of one trace request.
  std::string requestTrace(TestFacility& test) {
    testing::internal::CaptureStdout();
    test.writeScalar<std::int32_t>("/Server/InvalidityTracer/printTrace", 1);
    test.stepApplication();
    return testing::internal::GetCapturedStdout();
  }

} // namespace

TEST(InvalidityTracer, ListsFaultyVariablesWithTheirVersions) {
  TracerApp app;
  TestFacility test(app);
  testing::internal::CaptureStdout();
  test.runApplication();
  // the initial value of printTrace prints nothing
  EXPECT_EQ(testing::internal::GetCapturedStdout().find("Invalidity trace"), std::string::npos);

  VersionNumber faultyVersion;
  test.variable("/Signal/raw").set(std::vector<double>{1.}, faultyVersion, DataValidity::faulty);
  test.writeScalar<double>("/Other/raw", 2.);
  test.stepApplication();

  auto output = lines(requestTrace(test));
  auto total = app.getControlSystem().variables().size();
  ASSERT_EQ(output.size(), 3u) << testing::PrintToString(output);
  EXPECT_EQ(output[0], "Invalidity trace of /tracerTest/Server/InvalidityTracer: 2 of " + std::to_string(total) +
          " process variables hold invalid data");
  // in path order; the faulty input made the pipe's output faulty with the same version
  const std::regex time(R"( at \d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}$)");
  std::vector<std::string> paths{"/Signal/forwarded", "/Signal/raw"};
  for(std::size_t i = 0; i < paths.size(); ++i) {
    const auto& line = output[i + 1];
    auto prefix = "  " + paths[i] + " version " + std::to_string(faultyVersion.value());
    EXPECT_EQ(line.substr(0, prefix.size()), prefix) << line;
    EXPECT_TRUE(std::regex_search(line, time)) << line;
  }
}

TEST(InvalidityTracer, EveryWritePrintsTheCurrentState) {
  TracerApp app;
  TestFacility test(app);
  test.runApplication();
  auto first = lines(requestTrace(test));
  ASSERT_EQ(first.size(), 1u) << testing::PrintToString(first);
  EXPECT_NE(first[0].find(": 0 of "), std::string::npos) << first[0];

  test.variable("/Other/raw").set(std::vector<double>{1.}, {}, DataValidity::faulty);
  test.stepApplication();
  EXPECT_EQ(lines(requestTrace(test)).size(), 3u);

  test.writeScalar<double>("/Other/raw", 1.);
  test.stepApplication();
  EXPECT_EQ(lines(requestTrace(test)).size(), 1u);
}

TEST(InvalidityTracer, InputAsTheControlSystemSeesIt) {
  TracerApp app;
  TestFacility test(app);
  test.runApplication();
  auto& printTrace = app.getControlSystem().variable("/Server/InvalidityTracer/printTrace");
  EXPECT_EQ(printTrace.type(), DataType::int32);
  EXPECT_EQ(printTrace.description(), "Write to this variable to print the trace to stdout");
  EXPECT_TRUE(printTrace.isWritable());
}
