// The controller board's tree: its device module (registers below "/ToControlSystem" appear at
// the root of the variable tree), the board's initialisation script, and the groups "Controller"
// (configuration and tables), board services and the slave readiness, all merged into the
// directory "/Controller". The group itself is named "." whatever name it is given.
//
// So far the controller group holds the two calibrations of the vector sum and of the output;
// the tables, DAQ channels, enables, status and the firmware table mutex join them as their
// modules are added. Board services and the slave readiness are complete.
#pragma once

#include "BoardForceReinit.h"
#include "FirmwareSEUDetection.h"
#include "RotationParameter.h"

#include <Corvane/DeviceModule.h>
#include <Corvane/ExactMonitor.h>
#include <Corvane/ModuleGroup.h>
#include <Corvane/ScalarPipe.h>
#include <Corvane/ScriptedInitHandler.h>

#include <string>

class ControllerRoot : public Corvane::ModuleGroup {
 public:
  /// `name` is not used: the tree always lies at its owner's level.
  ControllerRoot(Corvane::Module* owner, const std::string& name, const std::string& description);

  class Controller : public Corvane::ModuleGroup {
   public:
    /// Takes itself out of the application for instance types 2 (slave) and 4 (monitoring-only).
    Controller(Corvane::Module* owner, const std::string& name, const std::string& description);

    class VectorSum : public Corvane::ModuleGroup {
     public:
      using Corvane::ModuleGroup::ModuleGroup;
      llrf::RotationParameter calibration{this, "Calibration", "Vector sum overall calibration", 1, 0.0, -1.0, false};
    };

    class Output : public Corvane::ModuleGroup {
     public:
      using Corvane::ModuleGroup::ModuleGroup;
      llrf::RotationParameter calibration{this, "Calibration", "Controller output calibration", 1, 0.0, -1.0, true};
    };

    VectorSum vectorSum{this, "VectorSum", "Calibrated vector sum"};
    Output output{this, "Output", "Output"};
  };

  /// Health of the controller board: FPGA clock, single event upsets, forced re-initialisation.
  /// The services act on the device module of the root that owns the group.
  class ControllerBoard : public Corvane::ModuleGroup {
   public:
    ControllerBoard(ControllerRoot* owner, const std::string& name, const std::string& description);

    /// OK on "Board/fpgaClockStatus" while "Board/fpgaClockError" is 0, FAULT otherwise.
    Corvane::ExactMonitor<Corvane::Boolean> fpgaClockMonitor;
    FirmwareSEUDetection seuDetection;
    BoardForceReinit forceReinit;
  };

  /// Readiness of a slave station, published as a status ("slaveLlrfReadyStatus") beside the
  /// operator input "slaveLlrfReady". Only a master (instance type 1) takes part.
  class FromSlave : public Corvane::ModuleGroup {
   public:
    FromSlave(Corvane::Module* owner, const std::string& name, const std::string& description);
    Corvane::ScalarPipe<std::int32_t> slaveReadiness;
  };

  Corvane::DeviceModule device;
  Corvane::ScriptedInitHandler initHandler;
  Controller controller;
  ControllerBoard controllerBoard;
  FromSlave fromSlave;
};
