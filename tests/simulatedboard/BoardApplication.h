// A small application around the simulated controller board: a device map naming the board
// "CtrlBoard" (type SISLDummy, the raw register map simulatedboard.map), the board's device
// module read on "/Server/triggerNumber", and helpers that set the board's registers as a
// client would and read its DAQ buffers. Tests provide the trigger through "/Server/testTrigger".
#pragma once

#include "SISLDummy.h"

#include <Corvane/Application.h>
#include <Corvane/BackendFactory.h>
#include <Corvane/DeviceModule.h>
#include <Corvane/Exception.h>
#include <Corvane/SetDMapFilePath.h>
#include <Corvane/TestFacility.h>

#include <fstream>
#include <list>
#include <memory>
#include <string>
#include <vector>

namespace simulatedboard {

  inline std::string writeDeviceMap(const std::string& stem, const std::string& lines) {
    std::ofstream(stem + ".dmap") << lines;
    return stem + ".dmap";
  }

  inline const std::string boardDeviceMap = "CtrlBoard (SISLDummy:1?map=simulatedboard.map)\n";

  /// The board "CtrlBoard" read on the trigger; further devices of the map each below a group
  /// named after their alias.
  struct BoardApplication : Corvane::Application {
    explicit BoardApplication(
        const std::string& deviceMapLines = boardDeviceMap, const std::vector<std::string>& furtherAliases = {})
    : Application("simulatedboard") {
      dmap = std::make_unique<Corvane::SetDMapFilePath>(writeDeviceMap("simulatedboard", deviceMapLines));
      board = Corvane::DeviceModule(this, "CtrlBoard", "/Server/triggerNumber");
      for(const auto& alias : furtherAliases) {
        auto& group = groups.emplace_back(this, alias, "");
        further.emplace_back(&group, alias);
      }
    }
    std::unique_ptr<Corvane::SetDMapFilePath> dmap;
    Corvane::DeviceModule board;
    std::list<Corvane::ModuleGroup> groups;
    std::list<Corvane::DeviceModule> further;
  };

  /// The message with which building a board application on `deviceMapLines` is refused; a board that
  /// is built gives a fixed text saying so (not the map's lines, which may hold the expected words).
  inline std::string refusalOf(const std::string& deviceMapLines) {
    try {
      BoardApplication app(deviceMapLines);
    }
    catch(const Corvane::logic_error& e) {
      return e.what();
    }
    return "(no refusal: the board was built)";
  }

  /// Runs a board application with the tests' trigger and reaches into the board.
  struct BoardTest {
    explicit BoardTest(
        const std::string& deviceMapLines = boardDeviceMap, const std::vector<std::string>& furtherAliases = {})
    : app(deviceMapLines, furtherAliases) {
      SISLDummy::testsProvideTrigger = true;
      test.runApplication();
    }
    ~BoardTest() { SISLDummy::testsProvideTrigger = false; }

    std::shared_ptr<SISLDummy> board(const std::string& alias = "CtrlBoard") {
      return std::dynamic_pointer_cast<SISLDummy>(Corvane::BackendFactory::getInstance().findBackend(alias));
    }

    /// One pass of the virtual-lab module: 1 advances to the next trigger, 2 fires the trigger only.
    void trigger(std::int64_t value = 1) {
      test.writeScalar<std::int64_t>("/Server/testTrigger", value);
      test.stepApplication();
    }

    template<class T>
    void set(const std::string& reg, std::vector<T> values) {
      board()->setRegister<T>(reg, values);
    }
    template<class T>
    void setAll(const std::string& reg, T value) {
      set<T>(reg, std::vector<T>(board()->getRegisterMap().getRegister(reg).nElements, value));
    }

    /// One channel of a DAQ buffer (all 16384 samples).
    std::vector<double> daq(const std::string& reg, std::size_t channel) {
      auto values = board()->getRegister<double>(reg);
      auto first = values.begin() + static_cast<std::ptrdiff_t>(channel * SISLDummy::nSamples);
      return {first, first + static_cast<std::ptrdiff_t>(SISLDummy::nSamples)};
    }

    BoardApplication app;
    Corvane::TestFacility test{app};
  };

} // namespace simulatedboard
