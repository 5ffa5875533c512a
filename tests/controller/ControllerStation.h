// A station of the controller tree alone, for the controller tests: a configuration file with the keys the
// controller reads (and those its coming modules will read), a device map naming the recording board
// "Controller", a small register map (status, board services, the firmware table lock, the two rotation
// tables, the DAQ traces, enables, limits and coefficient sets), and an initialisation script, all written
// into the working directory. The application holds nothing but the configuration and the ControllerRoot; the
// test feeds every other variable.
#pragma once

#include "ControllerRegisterMap.h"
#include "ControllerRoot.h"
#include "RecordingControllerBoard.h"

#include <Corvane/Application.h>
#include <Corvane/BackendFactory.h>
#include <Corvane/ConfigReader.h>
#include <Corvane/LogCapture.h>
#include <Corvane/SetDMapFilePath.h>
#include <Corvane/TestFacility.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace controllertest {

  constexpr std::uint32_t pulseLength = 8;
  inline const std::string feedForwardRotation = "/Controller/FeedForward/RotationTable";
  inline const std::string outputCalibration = "/Controller/Output/CalibrationTable";
  /// A table's registers: its variable directory below "ToControlSystem".
  inline std::string registersOf(const std::string& table) { return "ToControlSystem" + table; }

  inline std::string controllerMap(std::uint32_t samples = pulseLength) {
    ControllerRegisterMap map;
    map.add("Status.controllerStatus", 1, "32 0 0 RO");
    map.add("Board.fpgaClockError", 1, "1 0 0 RO");
    map.add("FirmwareSEUDetection.unrecoverableErrorDetectedRaw", 1, "32 0 0 RO");
    map.add("FirmwareSEUDetection.crcErrorSinceFpgaBoot", 1, "32 0 0 RO");
    map.add("FirmwareSEUDetection.eccFixedFramesSinceFpgaBoot", 1, "32 0 0 RO");
    map.add("BoardInit.bootStatus", 1, "1 0 0 RW");
    map.addModuleRegisters(samples);
    return map.text();
  }

  /// Writes the station's files under `name`, its tables and traces of `samples` elements; returns the device
  /// map's name.
  inline std::string writeStation(const std::string& name, std::int32_t instanceType, std::int32_t enableAutomation,
      std::uint32_t samples = pulseLength) {
    std::ofstream(name + "_base_config.xml")
        << "<configuration><module name=\"Configuration\">\n"
        << "<variable name=\"instanceType\" type=\"int32\" value=\"" << instanceType << "\"/>\n"
        << "<variable name=\"enableAutomation\" type=\"int32\" value=\"" << enableAutomation << "\"/>\n"
        << "<variable name=\"pulseLength\" type=\"uint32\" value=\"" << samples << "\"/>\n"
        << "<variable name=\"rfFrequency\" type=\"double\" value=\"1300\"/>\n"
        << "<variable name=\"enableControllerChannelStatistics\" type=\"boolean\" value=\"true\"/>\n"
        << "<variable name=\"enablePerBunchSetpoints\" type=\"boolean\" value=\"false\"/>\n"
        << "<variable name=\"nMaxBunches\" type=\"uint32\" value=\"4\"/>\n"
        << "<variable name=\"nMaxBeamRegions\" type=\"uint32\" value=\"2\"/>\n"
        << "<variable name=\"tZero_samples\" type=\"uint32\" value=\"2\"/>\n"
        << "</module></configuration>\n";
    std::ofstream(name + "_ctrl.map") << controllerMap(samples);
    std::ofstream(name + ".dmap") << "Controller (ctrlrecord:" << name << "?map=" << name << "_ctrl.map)\n";
    std::ofstream("initHardware.py") << "#!/bin/sh\necho \"initialised $1\"\n";
    std::filesystem::permissions("initHardware.py", std::filesystem::perms::owner_all);
    return name + ".dmap";
  }

  /// The controller tree of a station of the given instance type ("Configuration/instanceType") and automation
  /// switch ("Configuration/enableAutomation"; the automation itself is not part of the application).
  struct ControllerApp : Corvane::Application {
    ControllerApp(std::int32_t instanceType, std::int32_t enableAutomation)
    : Corvane::Application("controllertest"),
      dmap(writeStation("controllertest", instanceType, enableAutomation)) {}

    Corvane::SetDMapFilePath dmap;
    Corvane::ConfigReader config{this, ".", "controllertest_base_config.xml"};
    ControllerRoot controller{this, "Controller", "Controller configuration"};
  };

  /// Lets the table writers finish under the firmware lock, whose read-back is polled every 10 us: advances the
  /// time in steps of 10 us until the board has seen no write for 20 steps in a row. A fixed number of steps is
  /// not enough where the writers run on threads of their own (sanitizer builds): who takes the lock first, and
  /// so when the last writer is done, varies there.
  inline void settleBoard(Corvane::TestFacility& test, const RecordingControllerBoard& board) {
    constexpr int quietSteps = 20;
    constexpr int maximumSteps = 5000;
    auto writes = board.getWriteCount();
    for(int step = 0, quiet = 0; quiet < quietSteps && step < maximumSteps; ++step) {
      test.advanceTime(std::chrono::microseconds(10));
      const auto now = board.getWriteCount();
      quiet = now == writes ? quiet + 1 : 0;
      writes = now;
    }
  }

  /// A running controller tree on the recording board, settled after its first table writes.
  struct Station {
    explicit Station(std::int32_t instanceType = 1, std::int32_t enableAutomation = 0)
    : app(instanceType, enableAutomation),
      test(app) {
      test.runApplication();
      board = std::dynamic_pointer_cast<RecordingControllerBoard>(
          Corvane::BackendFactory::getInstance().findBackend("Controller"));
      settle();
    }

    void settle() { settleBoard(test, *board); }

    bool has(const std::string& path) { return app.getControlSystem().has(path); }

    Corvane::LogCapture log;
    ControllerApp app;
    Corvane::TestFacility test;
    std::shared_ptr<RecordingControllerBoard> board;
  };

} // namespace controllertest
