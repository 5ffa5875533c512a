// The table generation alone in a test application: a configuration file with
// the keys it reads, and a group "Controller" holding the module under the name
// ".", as the controller tree builds it, and a stand-in for the firmware table
// mutex that acknowledges every lock request at once and counts them. The test
// feeds every other input.
#pragma once

#include "TableGeneration/TGenMain.h"

#include <Corvane/Application.h>
#include <Corvane/ApplicationModule.h>
#include <Corvane/ConfigReader.h>
#include <Corvane/LogCapture.h>
#include <Corvane/ModuleGroup.h>
#include <Corvane/TestFacility.h>

#include <atomic>
#include <cstdint>
#include <fstream>
#include <string>

namespace tablegenerationtest {

  /// The configuration keys of the table generation.
  struct Settings {
    std::uint32_t pulseLength = 64;
    std::string rfFrequency = "1300";
    bool perBunch = false;
    std::uint32_t nMaxBunches = 4;
    std::uint32_t nMaxBeamRegions = 2;
    std::uint32_t tZero = 2;
  };

  inline const std::string instance = "tgentest";

  inline void writeConfiguration(const Settings& s) {
    std::ofstream(instance + "_base_config.xml")
        << "<configuration><module name=\"Configuration\">\n"
        << "<variable name=\"pulseLength\" type=\"uint32\" value=\"" << s.pulseLength << "\"/>\n"
        << "<variable name=\"rfFrequency\" type=\"double\" value=\"" << s.rfFrequency << "\"/>\n"
        << "<variable name=\"enablePerBunchSetpoints\" type=\"boolean\" value=\"" << (s.perBunch ? "true" : "false")
        << "\"/>\n"
        << "<variable name=\"nMaxBunches\" type=\"uint32\" value=\"" << s.nMaxBunches << "\"/>\n"
        << "<variable name=\"nMaxBeamRegions\" type=\"uint32\" value=\"" << s.nMaxBeamRegions << "\"/>\n"
        << "<variable name=\"tZero_samples\" type=\"uint32\" value=\"" << s.tZero << "\"/>\n"
        << "</module></configuration>\n";
  }

  struct ControllerGroup : Corvane::ModuleGroup {
    using Corvane::ModuleGroup::ModuleGroup;
    TableGeneration::TGenMain tableGeneration{this, ".", "Generation of control tables"};
  };

  /// Answers the module's lock requests like the firmware table mutex of a board
  /// that confirms at once, and counts the locks taken.
  struct TableLockStandIn : Corvane::ApplicationModule {
    TableLockStandIn(Corvane::ModuleGroup* owner, const std::string& clientPath)
    : Corvane::ApplicationModule(owner, "TableLockStandIn", ""),
      inhibit(this, clientPath + "/inhibit", "", ""),
      acknowledged(this, clientPath + "/acknowledged", "", "") {}

    void prepare() override { acknowledged.write(); }
    void mainLoop() override {
      while(true) {
        inhibit.read();
        if(inhibit) ++locks;
        acknowledged = bool(inhibit);
        acknowledged.write();
      }
    }

    Corvane::ScalarPushInput<Corvane::Boolean> inhibit;
    Corvane::ScalarOutput<Corvane::Boolean> acknowledged;
    std::atomic<int> locks{0};
  };

  struct TableGenerationApp : Corvane::Application {
    explicit TableGenerationApp(const Settings& settings)
    : Corvane::Application(instance),
      written((writeConfiguration(settings), true)) {}
    bool written; // the file is written before the reader opens it
    Corvane::ConfigReader config{this, ".", (instance + "_base_config.xml")};
    ControllerGroup controller{this, "Controller", "Controller configuration"};
    TableLockStandIn tableLock{this,
        MultiClientFirmwareMutex::ClientInterface::generateUniqueName(
            &controller.tableGeneration, "/Controller/Configuration/tableBufferMode")};
  };

  /// Paths of the module's inputs and published indices.
  namespace path {
    inline const std::string samplingFrequency = "/Configuration/samplingFrequency";
    inline const std::string delay = "/Controller/PulseShape/delay";
    inline const std::string filling = "/Controller/PulseShape/fillingDuration";
    inline const std::string flattop = "/Controller/PulseShape/flattopDuration";
    inline const std::string cwMode = "/Controller/PulseShape/cwMode";
    inline const std::string fillingStart = "/Controller/PulseShape/Indices/fillingStart";
    inline const std::string flattopStart = "/Controller/PulseShape/Indices/flattopStart";
    inline const std::string decayStart = "/Controller/PulseShape/Indices/decayStart";
    inline const std::string errorMessage = "/Controller/errorMessage";
    inline const std::string bitShift = "/Configuration/vectorSumBitShift";
    inline const std::string bitScaling = "/Configuration/bitScaling";
    inline const std::string amplitude = "/Controller/SetPoint/amplitude";
    inline const std::string power = "/Controller/SetPoint/power";
    inline const std::string phase = "/Controller/SetPoint/phase";
    inline const std::string powerScaling = "/Controller/SetPoint/powerScaling";
    inline const std::string limitOperational = "/Controller/SetPoint/amplitudeLimitOperational";
    inline const std::string limitAbsolute = "/Controller/SetPoint/amplitudeLimitAbsolute";
    inline const std::string flattopRatio = "/Controller/FeedForward/flattopRatio";
    inline const std::string ffAmplitude = "/Controller/FeedForward/Table/amplitude";
    inline const std::string ffPhase = "/Controller/FeedForward/Table/phase";
    inline const std::string ffI = "/Controller/FeedForward/Table/I";
    inline const std::string ffQ = "/Controller/FeedForward/Table/Q";
    inline const std::string spAmplitude = "/Controller/SetPoint/Table/amplitude";
    inline const std::string spPhase = "/Controller/SetPoint/Table/phase";
    inline const std::string spI = "/Controller/SetPoint/Table/I";
    inline const std::string spQ = "/Controller/SetPoint/Table/Q";
  } // namespace path

  /// A running table generation with fs 1 MHz, delay 10 us, filling 5.5 us,
  /// flat-top 3.2 us, a valid vector-sum bit shift, set-point amplitude limits
  /// 100 and 200 and power scaling 1 (unless the test gives other start values
  /// before run()).
  struct Station {
    explicit Station(const Settings& settings = {}) : app(settings), test(app) {
      test.setScalarDefault<double>(path::samplingFrequency, 1.0);
      test.setScalarDefault<double>("/Configuration/QLoaded", 3e6);
      test.setScalarDefault<double>("/Configuration/QLoadedFudge", 1.0);
      test.setScalarDefault<double>("/Configuration/bitScaling", 1e4);
      test.setScalarDefault<std::uint8_t>(path::bitShift, 2);
      test.setScalarDefault<double>(path::delay, 10.0);
      test.setScalarDefault<double>(path::filling, 5.5);
      test.setScalarDefault<double>(path::flattop, 3.2);
      test.setScalarDefault<double>(path::limitOperational, 100.0);
      test.setScalarDefault<double>(path::limitAbsolute, 200.0);
      test.setScalarDefault<double>(path::powerScaling, 1.0);
    }

    void run() { test.runApplication(); }
    TableGeneration::TGenMain& module() { return app.controller.tableGeneration; }
    std::int32_t index(const std::string& p) { return test.readScalar<std::int32_t>(p); }

    Corvane::LogCapture log;
    TableGenerationApp app;
    Corvane::TestFacility test;
  };

} // namespace tablegenerationtest
