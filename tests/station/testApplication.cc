// The station application built from small configurations: construction order and the
// published tree, configuration errors that end construction, extra devices, and disabling by
// instance type.
#include "PlaceholderUnits.h"
#include "StationFiles.h"
#include "Tessarel.h"

#include <Corvane/BackendFactory.h>
#include <Corvane/DummyBackend.h>
#include <Corvane/Exception.h>
#include <Corvane/StartUpRefusal.h>
#include <Corvane/TestFacility.h>
#include <Corvane/detail/Nodes.h>

#include <gtest/gtest.h>

#include <map>

using namespace Corvane;
using station::StationFiles;

namespace {

  struct Child {
    std::string name;
    std::string description;
    friend bool operator==(const Child&, const Child&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Child& c) {
      return os << '"' << c.name << "\" (\"" << c.description << "\")";
    }
  };

  /// The application's direct members as built, without the framework's own device modules.
  std::vector<Child> topLevel(const Tessarel& app) {
    std::vector<Child> children;
    for(auto* node : app.entityNode()->children) {
      if(node->name.rfind("/Devices/", 0) == 0) continue;
      children.push_back({node->name, node->description});
    }
    return children;
  }

  struct Variable {
    std::string unit;
    std::string description;
  };

  /// The declaring accessor of each path (the MicroDAQ, built last, reads many of them again).
  std::map<std::string, Variable> variables(const Tessarel& app) {
    std::map<std::string, Variable> result;
    for(auto& n : app.getAccessorListRecursive()) result.emplace(n.getPath(), Variable{n.getUnit(), n.getDescription()});
    return result;
  }

  const std::string bitScalingDescription =
      "Bit scaling factor with cavity length scaling, as used for the individual cavity signals.";

  TEST(Application, BuildsItsMembersInOrderWithTheirNamesAndDescriptions) {
    StationFiles files("orderApp");
    files.setArray("Configuration/extraDevices", "string", {"Timing", "Cryo"});
    files.write({"Timing", "Cryo"});
    Tessarel app("orderApp");
    std::vector<Child> expected{{".", "Configuration values from orderApp_base_config.xml"},
        {".", bitScalingDescription},
        {"Configuration/SamplingPosition", "Compute sampling frequencies depending on raw mode and daq decimation"},
        {"WindowLengthSetter", "Configure DAQ/CTABLE window length through firmware decimation factors"},
        {".", "Controller configuration"}, {".", "Automation"}, {"PhaseSetter", "Redefine controller phase"},
        {"TriggerIntervalMonitor", "Monitoring of trigger interval"}, {"ReferencePhaseMonitor", "Reference Phse Monitor"},
        {"OutputVectorCorrection", "Slow drift compensation of drive path."},
        {"ForwardVectorSum", "Vector sum of all forward cavity signals used for the output vector correction."},
        {".", ""}, {"BeamLoadingCompensation", ""}, {"Server", "Server information"},
        {"MonitoringTrigger", "Periodic trigger for monitoring tasks"}, {"UserVariables", ""},
        {"Application", "Module to publish version information"}, {".", "Signal monitoring on ADC board 0"},
        {".", "Device Timing"}, {".", "Device Cryo"},
        {"Controller/eventMessage", "Aggregate event-based error/warning messages"},
        {"Controller/readyStatus", "Aggregated status showing whether RF is possible"},
        {"MicroDAQ", "Local ringbuffer DAQ system"}};
    EXPECT_EQ(topLevel(app), expected);
    ASSERT_EQ(app.extraDevices.size(), 2u);
    EXPECT_EQ(app.extraDevices[0].getDeviceAlias(), "Timing");
    EXPECT_EQ(app.extraDevices[1].getDeviceAlias(), "Cryo");
    EXPECT_EQ(app.monitoringTrigger.defaultPeriod(), 1000u);
  }

  TEST(Application, PublishesTheTreeWithConfiguredUnits) {
    StationFiles files("treeApp");
    files.write();
    Tessarel app("treeApp");
    auto vars = variables(app);
    struct Expected {
      const char* path;
      const char* unit;
    };
    const Expected expected[] = {{"/Configuration/bitScaling", "digits/MV/m"},
        {"/Configuration/bitScalingLengthScaled", "digits/MV"},
        {"/Configuration/lengthScale", "(digits/MV)/(digits/MV/m)"},
        {"/Controller/VectorSum/Calibration/scale", ""}, {"/Controller/VectorSum/Calibration/angle", "deg"},
        {"/Controller/Output/Calibration/CascadeInputOVC/enable", ""},
        {"/Controller/Output/Calibration/CascadeInputAutomation/angle", "deg"},
        {"/BeamLoadingCompensation/Rotation/sineTable", ""}, {"/MonitoringTrigger/period", "ms"},
        {"/MonitoringTrigger/tick", ""}, {"/Application/fullVersion", ""}, {"/initScriptOutput", ""},
        {"/Controller/readyStatus", ""}, {"/Controller/eventMessage/message", ""},
        {"/Configuration/samplingFrequency", "MHz"}, {"/ForwardVectorSum/Q", "MV/m"},
        {"/Server/InvalidityTracer/printTrace", ""}, {"/TriggerIntervalMonitor/triggerInterval", "ms"},
        {"/Controller/Board/fpgaClockStatus", ""}, {"/Controller/FirmwareSEUDetection/crcErrors", ""},
        {"/Controller/BoardInit/forceReinitialisation", ""}, {"/Controller/slaveLlrfReadyStatus", ""}};
    for(auto& e : expected) {
      ASSERT_TRUE(vars.count(e.path)) << e.path;
      EXPECT_EQ(vars[e.path].unit, e.unit) << e.path;
    }
    EXPECT_EQ(vars["/Configuration/bitScalingLengthScaled"].description, bitScalingDescription);
    EXPECT_EQ(vars["/Controller/Output/Calibration/scale"].description, "Scaling factor");
    for(auto& [path, v] : vars) {
      PlaceholderUnits none("", "", "");
      EXPECT_FALSE(none.replacementFor(v.unit).has_value()) << path << " kept the placeholder " << v.unit;
    }
  }

  TEST(Application, RunsAndPublishesDerivedValues) {
    StationFiles files("runApp");
    files.write();
    Tessarel app("runApp");
    TestFacility test(app);
    test.runApplication();
    EXPECT_DOUBLE_EQ(test.readScalar<double>("/Configuration/bitScalingLengthScaled"), 2000.0);
    EXPECT_EQ(test.readScalar<std::string>("/Application/fullVersion"), "08.07.01-03");
    EXPECT_EQ(test.readScalar<std::int32_t>("/Application/majorVersion"), 8);
    // decimation 1 (the sampling scheme's fallback for the unset 0): clock / IQ detection length
    EXPECT_DOUBLE_EQ(test.readScalar<double>("/Configuration/samplingFrequency"), 81.25 / 9);
    test.writeScalar<double>("/Controller/Output/Calibration/scale", 1.0);
    test.stepApplication();
    EXPECT_FLOAT_EQ(test.readArray<float>("/Controller/Output/Calibration/cosineTable").at(0), 1.0f);
    auto tick = test.readScalar<std::uint64_t>("/MonitoringTrigger/tick");
    test.advanceTime(std::chrono::milliseconds(1000));
    EXPECT_EQ(test.readScalar<std::uint64_t>("/MonitoringTrigger/tick"), tick + 1);
  }

  TEST(Application, ControllerBoardHealthReachesTheReadyStatus) {
    StationFiles files("healthApp");
    files.write();
    Tessarel app("healthApp");
    TestFacility test(app);
    test.runApplication();
    auto board = std::dynamic_pointer_cast<DummyBackend>(BackendFactory::getInstance().findBackend("Controller"));
    ASSERT_TRUE(board);
    test.writeScalar<std::int64_t>("/Server/triggerNumber", 1);
    test.stepApplication();
    EXPECT_EQ(test.readScalar<std::int32_t>("/Controller/Board/fpgaClockStatus"), 0);

    board->setRegister<std::uint32_t>("ToControlSystem.Controller.Board.fpgaClockError", {1});
    test.writeScalar<std::int64_t>("/Server/triggerNumber", 2);
    test.stepApplication();
    EXPECT_EQ(test.readScalar<std::int32_t>("/Controller/Board/fpgaClockStatus"), 1);
    EXPECT_EQ(test.readScalar<std::int32_t>("/Controller/readyStatus"), 1);
    EXPECT_NE(test.readScalar<std::string>("/Controller/readyStatus_message").find("fpgaClockStatus"), std::string::npos)
        << test.readScalar<std::string>("/Controller/readyStatus_message");
  }

  // ---- configuration errors ---------------------------------------------------------------

  void expectConstructionFailsNaming(const StationFiles& files, const std::string& key) {
    try {
      Tessarel app(files.name());
      ADD_FAILURE() << "construction completed, expected an error naming " << key;
    }
    catch(Corvane::logic_error& e) {
      EXPECT_NE(std::string(e.what()).find(key), std::string::npos) << e.what();
    }
  }

  TEST(Application, EveryMissingRequiredKeyEndsConstructionNamingIt) {
    for(auto* key : {"Configuration/nAdcBoards", "Configuration/gradientUnit", "Configuration/gradientUnitPerLength",
            "Configuration/powerUnit", "Configuration/instanceType", "Configuration/pulseLength",
            "Configuration/enableAutomation", "Configuration/enablePhaseSetter", "Configuration/clockFrequency",
            "Configuration/rfFrequency", "Configuration/IQdetectionLength", "Configuration/maximumTriggerInterval",
            "Configuration/AdcBoard0/nChannels", "Configuration/nSinCosTableSize", "Configuration/phaseStep",
            "Configuration/sinSign", "Configuration/enableAdcChannelStatistics", "Configuration/rawAdcDecimation"}) {
      StationFiles files("missingKeyApp");
      files.remove(key);
      files.write();
      expectConstructionFailsNaming(files, key);
    }
  }

  TEST(Application, EveryRequiredKeyOfAnotherTypeEndsConstructionNamingIt) {
    struct Case {
      const char* key;
      const char* type;
      const char* value;
    };
    const Case cases[] = {{"Configuration/nAdcBoards", "int32", "1"}, {"Configuration/gradientUnit", "double", "1"},
        {"Configuration/gradientUnitPerLength", "int32", "1"}, {"Configuration/powerUnit", "boolean", "true"},
        {"Configuration/instanceType", "uint32", "1"}, {"Configuration/pulseLength", "int32", "16"},
        {"Configuration/enableAutomation", "boolean", "false"}, {"Configuration/enablePhaseSetter", "double", "0"},
        {"Configuration/clockFrequency", "float", "81.25"}, {"Configuration/IQdetectionLength", "int32", "9"},
        {"Configuration/maximumTriggerInterval", "uint32", "2"}};
    for(auto& c : cases) {
      StationFiles files("wrongTypeApp");
      files.set(c.key, c.type, c.value);
      files.write();
      expectConstructionFailsNaming(files, c.key);
    }
  }

  TEST(Application, BuildsOneBoardGroupPerConfiguredBoard) {
    struct Case {
      std::uint32_t boards;
    };
    for(std::uint32_t boards : {0u, 3u, 11u}) {
      StationFiles files("boardsApp");
      files.set("Configuration/nAdcBoards", "uint32", std::to_string(boards));
      for(std::uint32_t b = 0; b < boards; ++b) files.set("Configuration/AdcBoard" + std::to_string(b) + "/nChannels", "uint32", "1");
      files.write();
      Tessarel app("boardsApp");
      ASSERT_EQ(app.adcBoards.size(), boards);
      for(std::uint32_t b = 0; b < boards; ++b) {
        // board 10 is "AdcBoard10": plain decimal, no leading zeros
        EXPECT_EQ(app.adcBoards[b].adcBoard.getName(), "AdcBoard" + std::to_string(b));
        EXPECT_EQ(app.adcBoards[b].getDescription(), "Signal monitoring on ADC board " + std::to_string(b));
        EXPECT_EQ(app.adcBoards[b].device.getDeviceAlias(), "Adc" + std::to_string(b));
      }
    }
  }

  TEST(Application, EveryConfiguredBoardNeedsItsChannelCount) {
    StationFiles files("boardKeysApp");
    files.set("Configuration/nAdcBoards", "uint32", "2");
    files.write();
    expectConstructionFailsNaming(files, "Configuration/AdcBoard1/nChannels");
  }

  TEST(Application, MissingConfigurationFileEndsConstructionNamingIt) {
    try {
      Tessarel app("noSuchStation");
      ADD_FAILURE() << "construction completed";
    }
    catch(Corvane::logic_error& e) {
      EXPECT_NE(std::string(e.what()).find("noSuchStation_base_config.xml"), std::string::npos) << e.what();
    }
  }

  // (an empty array cannot be written in the configuration file: a variable needs a value)
  TEST(Application, ExtraDevicesAreOptional) {
    StationFiles files("extraApp");
    files.write();
    Tessarel app("extraApp");
    EXPECT_TRUE(app.extraDevices.empty());
  }

  TEST(Application, ExtraDevicesOfAnotherTypeEndConstructionNamingKeyFileAndTypes) {
    struct Case {
      const char* found;
      std::function<void(StationFiles&)> edit;
    };
    const Case cases[] = {{"is int32,", [](StationFiles& f) { f.set("Configuration/extraDevices", "int32", "2"); }},
        {"is int32 array,", [](StationFiles& f) { f.setArray("Configuration/extraDevices", "int32", {"1"}); }},
        {"is string,", [](StationFiles& f) { f.set("Configuration/extraDevices", "string", "Timing"); }}};
    for(auto& c : cases) {
      StationFiles files("extraApp");
      c.edit(files);
      files.write();
      try {
        Tessarel app("extraApp");
        ADD_FAILURE() << "construction completed, " << c.found;
      }
      catch(Corvane::logic_error& e) {
        std::string what = e.what();
        for(auto part :
            {"\"Configuration/extraDevices\"", "extraApp_base_config.xml", c.found, "requested string array"})
          EXPECT_NE(what.find(part), std::string::npos) << part << " in " << what;
      }
    }
  }

  TEST(Application, ADuplicatedExtraDeviceEndsConstructionNamingTheAlias) {
    StationFiles files("duplicateApp");
    files.setArray("Configuration/extraDevices", "string", {"Timing", "Cryo", "Timing"});
    files.write({"Timing", "Cryo"});
    try {
      Tessarel app("duplicateApp");
      ADD_FAILURE() << "construction completed";
    }
    catch(Corvane::logic_error& e) {
      EXPECT_NE(std::string(e.what()).find("'Timing'"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("Configuration/extraDevices"), std::string::npos) << e.what();
    }
  }

  // ---- disabling by configuration ---------------------------------------------------------

  TEST(Application, InstanceTypeTakesModulesOut) {
    struct Case {
      std::int32_t instanceType;
      bool controller, fromSlave, ovc, lff, blc;
    };
    const Case cases[] = {{1, false, false, false, false, false}, {0, false, true, false, false, false},
        {2, true, true, true, true, true}, {3, false, true, false, false, true}, {4, true, true, true, true, true},
        {5, false, true, false, false, true}, {-1, false, true, false, false, true}};
    for(auto& c : cases) {
      StationFiles files("instanceApp");
      files.set("Configuration/instanceType", "int32", std::to_string(c.instanceType));
      files.write();
      Tessarel app("instanceApp");
      SCOPED_TRACE("instance type " + std::to_string(c.instanceType));
      EXPECT_EQ(app.controller.controller.isDisabled(), c.controller);
      EXPECT_EQ(app.controller.fromSlave.isDisabled(), c.fromSlave);
      EXPECT_FALSE(app.controller.controllerBoard.isDisabled());
      EXPECT_FALSE(app.controller.isDisabled());
      EXPECT_EQ(app.outputVectorCorrection.isDisabled(), c.ovc);
      EXPECT_EQ(app.learningFeedForward.isDisabled(), c.lff);
      EXPECT_EQ(app.beamLoadingCompensation.isDisabled(), c.blc);
    }
  }

  TEST(Application, AutomationAndPhaseSetterFollowTheirEnables) {
    struct Case {
      const char* automation;
      const char* phaseSetter;
    };
    // automation alone (with statistics, on a master), phase setter alone, neither
    for(auto c : {Case{"1", "0"}, Case{"0", "1"}, Case{"0", "0"}, Case{"-3", "0"}}) {
      StationFiles files("enableApp");
      files.set("Configuration/enableAutomation", "int32", c.automation);
      files.set("Configuration/enablePhaseSetter", "int32", c.phaseSetter);
      files.write();
      Tessarel app("enableApp");
      EXPECT_EQ(app.automation.isDisabled(), std::string(c.automation) == "0") << c.automation;
      EXPECT_EQ(app.phaseSetter.isDisabled(), std::string(c.phaseSetter) == "0") << c.phaseSetter;
    }
  }

  TEST(Application, AutomationRefusesContradictingConfigurationsWhileBeingBuilt) {
    // the programs end with the line on standard output and status 1 (testPrograms.cc); in the
    // process the refusal is an exception out of the construction
    struct Case {
      const char* key;
      const char* type;
      const char* value;
      const char* line;
    };
    const Case cases[] = {
        {"Configuration/instanceType", "int32", "2", "!!! InstanceType must not be slave if Automation is enabled!"},
        {"Configuration/instanceType", "int32", "4",
            "!!! InstanceType must not be monitoring-only if Automation is enabled!"},
        {"Configuration/enablePhaseSetter", "int32", "1",
            "!!! Cannot enable Automation and PhaseSetter modules at the same time!"},
        {"Configuration/enableControllerChannelStatistics", "boolean", "false",
            "!!! Cannot enable Automation without enabling controller channel statistics!"}};
    for(auto& c : cases) {
      StationFiles files("refusingApp");
      files.set("Configuration/enableAutomation", "int32", "1");
      files.set(c.key, c.type, c.value);
      files.write();
      try {
        Tessarel app("refusingApp");
        ADD_FAILURE() << "construction completed: " << c.line;
      }
      catch(const Corvane::StartUpRefusal& refusal) {
        EXPECT_EQ(refusal.lines(), std::vector<std::string>{c.line});
        EXPECT_EQ(refusal.stream(), Corvane::StartUpRefusal::Stream::standardOutput) << c.line;
        EXPECT_EQ(refusal.exitStatus(), 1) << c.line;
      }
      EXPECT_FALSE(Corvane::Application::hasInstance()) << c.line;
    }
  }

  TEST(Application, DisabledAutomationReadsNoFurtherKeys) {
    // a slave with the phase setter and without statistics is fine while automation is off
    StationFiles files("slaveApp");
    files.set("Configuration/instanceType", "int32", "2");
    files.set("Configuration/enablePhaseSetter", "int32", "1");
    files.remove("Configuration/enableControllerChannelStatistics");
    files.write();
    Tessarel app("slaveApp");
    EXPECT_TRUE(app.automation.isDisabled());
  }

} // namespace
