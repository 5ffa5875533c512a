// The server group (data-loss counter and invalidity tracer on the station trigger) and the
// operator variables: their paths, types and lengths, and that writing them disturbs nothing.
#include "TessarelServer.h"
#include "UserVariables.h"

#include <Corvane/Corvane.h>
#include <Corvane/TestFacility.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace Corvane;

namespace {

  struct ServerApp : Application {
    ServerApp() : Application("serverVariables") {}
    TessarelServer server{this, "Server", "Server information"};
    UserVariables userVariables{this, "UserVariables", ""};
  };

  struct Layout {
    std::string path;
    DataType type;
    std::size_t nElements;
  };

  const std::vector<Layout> userVariables{
      {"/UserVariables/Main/USER_MESSAGE", DataType::string, 1},
      {"/UserVariables/Main/LOC_KLYSTRON", DataType::string, 1},
      {"/UserVariables/Main/LOC_MPS", DataType::string, 1},
      {"/UserVariables/Main/LOC_MOD", DataType::string, 1},
      {"/UserVariables/Main/LOC_RACK", DataType::string, 1},
      {"/UserVariables/RfInfo/OL_A_SIZE", DataType::float32, 1},
      {"/UserVariables/RfInfo/OL_B_C_SIZE", DataType::float32, 1},
      {"/UserVariables/RfInfo/MODEL_OL_A", DataType::float32, 512},
      {"/UserVariables/RfInfo/MODEL_OL_B", DataType::float32, 512},
      {"/UserVariables/RfInfo/MODEL_OL_C", DataType::float32, 512},
      {"/UserVariables/RfInfo/CL_A_SIZE", DataType::float32, 1},
      {"/UserVariables/RfInfo/CL_B_C_SIZE", DataType::float32, 1},
      {"/UserVariables/RfInfo/MODEL_CL_A", DataType::float32, 512},
      {"/UserVariables/RfInfo/MODEL_CL_B", DataType::float32, 512},
      {"/UserVariables/RfInfo/MODEL_CL_C", DataType::float32, 512},
  };

} // namespace

TEST(ServerVariables, LayoutOfTheOperatorAndServerVariables) {
  ServerApp app;
  TestFacility test(app);
  test.runApplication();
  auto& cs = app.getControlSystem();
  std::size_t below = 0;
  for(auto& [path, variable] : cs.variables()) below += path.rfind("/UserVariables/", 0) == 0 ? 1 : 0;
  EXPECT_EQ(below, userVariables.size());
  for(auto& v : userVariables) {
    ASSERT_TRUE(cs.has(v.path)) << v.path;
    auto& variable = test.variable(v.path);
    EXPECT_EQ(variable.type(), v.type) << v.path;
    EXPECT_EQ(variable.nElements(), v.nElements) << v.path;
    EXPECT_TRUE(variable.isFedByControlSystem()) << v.path;
    EXPECT_EQ(variable.unit(), "") << v.path;
    EXPECT_EQ(variable.description(), "") << v.path;
    EXPECT_TRUE(variable.tags().empty()) << v.path;
  }
  for(auto& path : {"/Server/DataLossCounter/lostDataInLastTrigger", "/Server/DataLossCounter/triggersWithDataLoss"}) {
    EXPECT_TRUE(cs.has(path)) << path;
    EXPECT_FALSE(test.variable(path).isWritable()) << path;
  }
  EXPECT_EQ(test.variable("/Server/InvalidityTracer/printTrace").type(), DataType::int32);
  EXPECT_EQ(test.variable("/Server/InvalidityTracer/printTrace").description(),
      "Write to this variable to print the trace to stdout");
  EXPECT_EQ(app.server.getDescription(), "Server information");
  EXPECT_EQ(app.server.dataLossCounter.getDescription(), "Statistics on lost data within this llrf server");
  EXPECT_EQ(app.server.invalidityTracer.getDescription(), "Debug tool to trace invalid data in the server.");
}

TEST(ServerVariables, OperatorWritesChangeNothingElse) {
  ServerApp app;
  TestFacility test(app);
  test.runApplication();
  std::map<std::string, std::uint64_t> before;
  for(auto& [path, variable] : app.getControlSystem().variables()) before[path] = variable->updateCount();

  test.writeScalar<std::string>("/UserVariables/Main/USER_MESSAGE", "klystron exchanged");
  test.writeScalar<std::string>("/UserVariables/Main/LOC_RACK", "R12");
  test.writeScalar<float>("/UserVariables/RfInfo/OL_A_SIZE", 3.5f);
  test.writeArray<float>("/UserVariables/RfInfo/MODEL_CL_C", std::vector<float>(512, -1.25f));
  test.stepApplication();

  EXPECT_EQ(test.readScalar<std::string>("/UserVariables/Main/USER_MESSAGE"), "klystron exchanged");
  EXPECT_EQ(test.readScalar<float>("/UserVariables/RfInfo/OL_A_SIZE"), 3.5f);
  EXPECT_EQ(test.readArray<float>("/UserVariables/RfInfo/MODEL_CL_C"), std::vector<float>(512, -1.25f));
  for(auto& [path, variable] : app.getControlSystem().variables()) {
    bool written = path == "/UserVariables/Main/USER_MESSAGE" || path == "/UserVariables/Main/LOC_RACK" ||
        path == "/UserVariables/RfInfo/OL_A_SIZE" || path == "/UserVariables/RfInfo/MODEL_CL_C";
    EXPECT_EQ(variable->updateCount(), before[path] + (written ? 1 : 0)) << path;
  }
  // the application keeps running although the operator variables' module has ended
  EXPECT_EQ(app.getState(), Application::State::running);
  EXPECT_EQ(app.exitStatus(), 0);
}

TEST(ServerVariables, DataLossCounterCountsOnTheStationTrigger) {
  ServerApp app;
  TestFacility test(app);
  test.runApplication();
  for(std::int64_t n = 1; n <= 3; ++n) {
    test.writeScalar<std::int64_t>("/Server/triggerNumber", n);
    test.stepApplication();
    EXPECT_EQ(test.updateCount("/Server/DataLossCounter/lostDataInLastTrigger"), static_cast<std::uint64_t>(n + 1));
    EXPECT_EQ(test.readScalar<std::uint64_t>("/Server/DataLossCounter/triggersWithDataLoss"), 0u);
  }
}

TEST(ServerVariables, VariableListHoldsEveryPath) {
  // what the generator program writes: run in a private directory
  auto pattern = (std::filesystem::temp_directory_path() / "serverVariables-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  auto previous = std::filesystem::current_path();
  std::filesystem::current_path(pattern);
  std::string xml;
  {
    ServerApp app;
    app.generateXML();
    std::ostringstream text;
    text << std::ifstream("serverVariables.xml").rdbuf();
    xml = text.str();
  }
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(pattern);

  for(auto& v : userVariables) {
    auto at = xml.find("path=\"" + v.path + "\"");
    ASSERT_NE(at, std::string::npos) << v.path;
    auto element = xml.substr(at, xml.find('>', at) - at);
    EXPECT_NE(element.find(v.type == DataType::string ? "type=\"string\"" : "type=\"float\""), std::string::npos)
        << element;
    EXPECT_NE(element.find("length=\"" + std::to_string(v.nElements) + "\""), std::string::npos) << element;
    EXPECT_NE(element.find("direction=\"control_system_to_application\""), std::string::npos) << element;
  }
  for(auto& path : {"/Server/InvalidityTracer/printTrace", "/Server/DataLossCounter/lostDataInLastTrigger",
          "/Server/DataLossCounter/triggersWithDataLoss", "/Server/triggerNumber"}) {
    EXPECT_NE(xml.find("path=\"" + std::string(path) + "\""), std::string::npos) << path;
  }
}
