// The two programs on the simulated station: the generator's variable list and module graph,
// construction failures and the automation's configuration checks as exit statuses, the
// server's start and clean shutdown, and what its settings file holds.
#include "ProgramRun.h"
#include "PlaceholderUnits.h"

#include <Corvane/Cs/HttpClient.h>
#include <Corvane/Cs/PersistentSettings.h>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <map>
#include <regex>

using station::ScratchDirectory;

namespace {

  struct XmlVariable {
    std::string type;
    std::string unit;
    std::size_t length{0};
    std::string description;
  };

  std::map<std::string, XmlVariable> variablesOf(const pugi::xml_document& doc) {
    std::map<std::string, XmlVariable> result;
    for(auto& found : doc.select_nodes("//variable")) {
      auto node = found.node();
      result[node.attribute("path").value()] = {node.attribute("type").value(), node.attribute("unit").value(),
          node.attribute("length").as_ullong(), node.child_value("description")};
    }
    return result;
  }

  TEST(Generator, WritesTheSimulatedStationsVariableListWithStationUnits) {
    ScratchDirectory dir("tessarel-xmlgen");
    dir.copySimulatedStation();
    auto run = station::runIn(dir.path(), TESSAREL_XMLGEN);
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;

    pugi::xml_document doc;
    auto parsed = doc.load_file((dir.path() / "tessarel.xml").c_str());
    ASSERT_TRUE(parsed) << parsed.description();
    auto vars = variablesOf(doc);
    struct Expected {
      const char* path;
      const char* type;
      const char* unit;
      std::size_t length;
    };
    const Expected expected[] = {{"/Configuration/bitScalingLengthScaled", "double", "digits/MV", 1},
        {"/Configuration/bitScaling", "double", "digits/MV/m", 1},
        {"/Configuration/nAdcBoards", "uint32", "", 1},
        {"/Controller/VectorSum/Calibration/scale", "double", "", 1},
        {"/Controller/Output/Calibration/CascadeInputAutomation/enable", "int32", "", 1},
        {"/Controller/Output/Calibration/cosineTable", "float", "", 1},
        {"/BeamLoadingCompensation/Rotation/performPhaseRotation", "double", "deg", 1},
        {"/MonitoringTrigger/tick", "uint64", "", 1}, {"/Application/fullVersion", "string", "", 1},
        {"/Controller/readyStatus", "int32", "", 1}, {"/initScriptOutput", "string", "", 1},
        {"/Controller/Status/controllerStatus", "uint32", "", 1},
        {"/Controller/VectorSum/DAQ/I", "int32", "digits", 2048},
        {"/Server/triggerNumber", "int64", "", 1}, {"/Configuration/samplingFrequency", "double", "MHz", 1},
        {"/Configuration/SamplingPosition/index", "uint32", "", 1}, {"/ForwardVectorSum/I", "float", "MV/m", 2048},
        {"/Server/DataLossCounter/lostDataInLastTrigger", "uint64", "", 1},
        {"/TriggerIntervalMonitor/triggerStatus", "int32", "", 1}, {"/AdcBoard0/Channel3/isForwardSignal", "int32", "", 1}};
    for(auto& e : expected) {
      ASSERT_TRUE(vars.count(e.path)) << e.path;
      EXPECT_EQ(vars[e.path].type, e.type) << e.path;
      EXPECT_EQ(vars[e.path].unit, e.unit) << e.path;
      EXPECT_EQ(vars[e.path].length, e.length) << e.path;
    }
    EXPECT_EQ(vars["/Controller/Output/Calibration/scale"].description, "Scaling factor");
    PlaceholderUnits placeholders("", "", "");
    for(auto& [path, v] : vars) {
      EXPECT_FALSE(placeholders.replacementFor(v.unit).has_value()) << path << ": " << v.unit;
      EXPECT_FALSE(v.type.empty()) << path;
    }
  }

  TEST(Generator, WritesAModuleGraphThatDotRenders) {
    ScratchDirectory dir("tessarel-xmlgen");
    dir.copySimulatedStation();
    ASSERT_EQ(station::runIn(dir.path(), TESSAREL_XMLGEN).exitStatus, 0);
    auto graph = station::readFile(dir.path() / "tessarel.dot");
    EXPECT_NE(graph.find("digraph"), std::string::npos);
    EXPECT_NE(graph.find("MonitoringTrigger"), std::string::npos);
    auto dot = station::runIn(dir.path(), "dot -Tsvg tessarel.dot -o graph.svg");
    EXPECT_EQ(dot.exitStatus, 0) << dot.err;
    EXPECT_NE(station::readFile(dir.path() / "graph.svg").find("<svg"), std::string::npos);
  }

  TEST(Generator, WithoutConfigurationFileReportsItAndWritesNothing) {
    ScratchDirectory dir("tessarel-xmlgen");
    auto run = station::runIn(dir.path(), TESSAREL_XMLGEN);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find("tessarel_base_config.xml"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "tessarel.xml"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "tessarel.dot"));
  }

  TEST(Generator, MissingKeyIsNamedOnStderr) {
    ScratchDirectory dir("tessarel-xmlgen");
    dir.copySimulatedStation();
    dir.edit("tessarel_base_config.xml", R"(<variable name="powerUnit" type="string" value="kW"/>)", "");
    auto run = station::runIn(dir.path(), TESSAREL_XMLGEN);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find("Configuration/powerUnit"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "tessarel.xml"));
  }

  TEST(Generator, AutomationRefusesContradictingConfigurations) {
    struct Case {
      const char* from;
      const char* to;
      const char* line;
    };
    const Case cases[] = {
        {R"(name="instanceType" type="int32" value="1")", R"(name="instanceType" type="int32" value="2")",
            "!!! InstanceType must not be slave if Automation is enabled!"},
        {R"(name="instanceType" type="int32" value="1")", R"(name="instanceType" type="int32" value="4")",
            "!!! InstanceType must not be monitoring-only if Automation is enabled!"},
        {R"(name="enablePhaseSetter" type="int32" value="0")", R"(name="enablePhaseSetter" type="int32" value="-1")",
            "!!! Cannot enable Automation and PhaseSetter modules at the same time!"},
        {R"(name="enableControllerChannelStatistics" type="boolean" value="true")",
            R"(name="enableControllerChannelStatistics" type="boolean" value="false")",
            "!!! Cannot enable Automation without enabling controller channel statistics!"}};
    for(auto& c : cases) {
      ScratchDirectory dir("tessarel-xmlgen");
      dir.copySimulatedStation();
      dir.edit("tessarel_base_config.xml", R"(name="enableAutomation" type="int32" value="0")",
          R"(name="enableAutomation" type="int32" value="1")");
      dir.edit("tessarel_base_config.xml", c.from, c.to);
      auto run = station::runIn(dir.path(), TESSAREL_XMLGEN);
      EXPECT_EQ(run.exitStatus, 1) << c.line;
      EXPECT_EQ(station::withoutCavityModelLines(run.out), station::backendRegistrationLine + c.line + "\n");
      EXPECT_FALSE(std::filesystem::exists(dir.path() / "tessarel.xml"));
    }
  }

  TEST(Generator, AcceptsACompatibleAutomation) {
    ScratchDirectory dir("tessarel-xmlgen");
    dir.copySimulatedStation();
    dir.edit("tessarel_base_config.xml", R"(name="enableAutomation" type="int32" value="0")",
        R"(name="enableAutomation" type="int32" value="1")");
    auto run = station::runIn(dir.path(), TESSAREL_XMLGEN);
    EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_EQ(run.out.find("!!!"), std::string::npos);
  }

  TEST(Server, ServesTheSimulatedStationAndShutsDownCleanly) {
    ScratchDirectory dir("tessarel-server");
    dir.copySimulatedStation();
    ASSERT_EQ(station::runIn(dir.path(), TESSAREL_XMLGEN).exitStatus, 0);
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file((dir.path() / "tessarel.xml").c_str()));
    auto listed = variablesOf(doc).size();

    station::BackgroundProgram server(dir.path(), TESSAREL_SERVER, {"--listen", "127.0.0.1:0"});
    ASSERT_TRUE(server.waitForOutput("serving", std::chrono::seconds(30))) << server.out() << server.err();
    auto out = server.out();
    EXPECT_NE(out.find("*** Tessarel server version 8.7.1-0"), std::string::npos) << out;
    // the server serves the same variables that the generator lists
    std::smatch served;
    ASSERT_TRUE(std::regex_search(out, served, std::regex(R"(serving (\d+) process variables)"))) << out;
    EXPECT_EQ(std::stoul(served[1]), listed);

    EXPECT_EQ(server.stop(SIGTERM, std::chrono::seconds(30)), 0) << server.out() << server.err();
    EXPECT_NE(server.out().find("shut down cleanly"), std::string::npos) << server.out();
  }

  TEST(Server, CommandsAreNotPersisted) {
    ScratchDirectory dir("tessarel-server");
    dir.copySimulatedStation();
    station::BackgroundProgram server(dir.path(), TESSAREL_SERVER, {"--listen", "127.0.0.1:0"});
    ASSERT_TRUE(server.waitForOutput("serving", std::chrono::seconds(30))) << server.out() << server.err();
    std::smatch listening;
    auto out = server.out();
    ASSERT_TRUE(std::regex_search(out, listening, std::regex(R"(listening on http://127\.0\.0\.1:(\d+)/)"))) << out;
    Corvane::Cs::HttpClient client("127.0.0.1", static_cast<std::uint16_t>(std::stoul(listening[1])),
        std::chrono::seconds(10));
    const std::vector<std::string> commands{"/Controller/VectorSum/Calibration/performPhaseRotation",
        "/AdcBoard0/Channel0/Calibration/performPhaseRotation", "/Controller/BoardInit/forceReinitialisation",
        "/Server/InvalidityTracer/printTrace"};
    for(auto& path : commands) EXPECT_EQ(client.request("PUT", "/api/variables" + path, "1").status, 200) << path;
    EXPECT_EQ(client.request("PUT", "/api/variables/Controller/PulseShape/delay", "12.5").status, 200);
    client.disconnect();
    ASSERT_EQ(server.stop(SIGTERM, std::chrono::seconds(30)), 0) << server.out() << server.err();

    // saved at shutdown: the setting, and none of the commands
    auto saved = Corvane::Cs::PersistentSettings::decode(station::readFile(dir.path() / "tessarel_settings.json"));
    ASSERT_TRUE(saved.count("/Controller/PulseShape/delay"));
    EXPECT_EQ(saved["/Controller/PulseShape/delay"].value.text(), "12.5");
    for(auto& path : commands) EXPECT_FALSE(saved.count(path)) << path;
    for(auto& [path, entry] : saved) {
      for(auto* name : {"performPhaseRotation", "forceReinitialisation", "printTrace"})
        EXPECT_EQ(path.find(name), std::string::npos) << path;
    }
  }

} // namespace
