// One table-writing module of the controller alone on the recording board, for the tests of that module: the
// station's files (ControllerStation.h) with tables of a chosen length, the board's device module, the writer
// at its place in the controller's tree and the firmware table mutex. Every other variable is the test's.
#pragma once

#include "ControllerStation.h"

#include <Corvane/DeviceModule.h>

#include <functional>

namespace controllertest {

  template<class Writer>
  struct TableWriterApp : Corvane::Application {
    TableWriterApp(const std::string& name, const std::string& writerName, std::uint32_t samples)
    : Corvane::Application(name), dmap(writeStation(name, 1, 0, samples)),
      config(this, ".", name + "_base_config.xml"), writer(this, writerName, "") {}

    Corvane::SetDMapFilePath dmap;
    Corvane::ConfigReader config;
    Corvane::DeviceModule device{this, "Controller", "", {}, "/ToControlSystem"};
    Writer writer;
    MultiClientFirmwareMutex mutex{this, "/Controller/Configuration/tableBufferMode", ""};
  };

  /// The running writer, settled after its first table. `defaults` sets initial values of operator variables.
  template<class Writer>
  struct TableWriterStation {
    TableWriterStation(const std::string& name, const std::string& writerName, std::uint32_t samples,
        const std::function<void(Corvane::TestFacility&)>& defaults = {})
    : app(name, writerName, samples), test(app) {
      if(defaults) defaults(test);
      test.runApplication();
      board = std::dynamic_pointer_cast<RecordingControllerBoard>(
          Corvane::BackendFactory::getInstance().findBackend("Controller"));
      settle();
    }

    void settle() { settleBoard(test, *board); }

    Corvane::LogCapture log;
    TableWriterApp<Writer> app;
    Corvane::TestFacility test;
    std::shared_ptr<RecordingControllerBoard> board;
  };

} // namespace controllertest
