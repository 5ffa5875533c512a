// The controller board's tree: its device module (registers below "/ToControlSystem" appear at
// the root of the variable tree), the board's initialisation script, and the groups "Controller"
// (configuration and tables), board services and the slave readiness, all merged into the
// directory "/Controller". The group itself is named "." whatever name it is given.
//
// The controller group builds its members in a fixed order: the table writers first, the firmware
// table mutex "/Controller/Configuration/tableBufferMode" last, so that the mutex finds every
// writer's client interface. Members whose modules are not implemented yet (gain and
// feed-forward tables) stand at their places with their names and descriptions and publish
// nothing so far.
#pragma once

#include "AmplitudePhaseError.h"
#include "BbfStatus.h"
#include "BoardForceReinit.h"
#include "ControllerChannel.h"
#include "ControllerCoefficients.h"
#include "ControllerEnable.h"
#include "FeedForwardTable.h"
#include "FirmwareSEUDetection.h"
#include "GainTable.h"
#include "InhibitAlgos.h"
#include "MaximumOutput.h"
#include "MultiClientFirmwareMutex.h"
#include "RotationAndScalingTable.h"
#include "RotationParameter.h"
#include "TableGeneration/TGenMain.h"

#include <Corvane/DeviceModule.h>
#include <Corvane/ExactMonitor.h>
#include <Corvane/ModuleGroup.h>
#include <Corvane/ScalarPipe.h>
#include <Corvane/ScriptedInitHandler.h>

#include <cstdint>
#include <string>

class ControllerRoot : public Corvane::ModuleGroup {
 public:
  /// `name` is not used: the tree always lies at its owner's level.
  ControllerRoot(Corvane::Module* owner, const std::string& name, const std::string& description);

  /// Description of every DAQ channel of the controller.
  static constexpr const char* daqDescription = "DAQ data from FPGA controller";

  class Controller : public Corvane::ModuleGroup {
   public:
    /// Takes itself out of the application for instance types 2 (slave) and 4 (monitoring-only).
    Controller(Corvane::Module* owner, const std::string& name, const std::string& description);

    class SetPoint : public Corvane::ModuleGroup {
     public:
      using Corvane::ModuleGroup::ModuleGroup;
      ControllerChannel daq{this, "DAQ", daqDescription, true, true};
    };

    class VectorSum : public Corvane::ModuleGroup {
     public:
      using Corvane::ModuleGroup::ModuleGroup;
      llrf::RotationParameter calibration{this, "Calibration", "Vector sum overall calibration", 1, 0.0, -1.0, false};
      ControllerChannel daq{this, "DAQ", daqDescription, true, true};
    };

    /// The controller's input; amplitude and phase only with the automation ("Configuration/enableAutomation").
    class Error : public Corvane::ModuleGroup {
     public:
      using Corvane::ModuleGroup::ModuleGroup;
      ControllerChannel daq{this, "DAQ", daqDescription, automationEnabled(), false};

     private:
      bool automationEnabled() const;
    };

    class FeedForward : public Corvane::ModuleGroup {
     public:
      using Corvane::ModuleGroup::ModuleGroup;
      ControllerChannel daq{this, "DAQ", daqDescription, false, false};
    };

    class FeedBack : public Corvane::ModuleGroup {
     public:
      using Corvane::ModuleGroup::ModuleGroup;

      class Gain : public Corvane::ModuleGroup {
       public:
        using Corvane::ModuleGroup::ModuleGroup;
        ControllerChannel daq{this, "DAQ", daqDescription, false, false};
      };

      using MaximumOutput = ::MaximumOutput;

      Gain gain{this, "Gain", "Gain table as used by the controller"};
      MaximumOutput maximumOutput{this, ".", "Maxmimum controller output"};
      ControllerCoefficients mimoCoefficients{this, "MimoCoefficients", "Coefficients for the MIMO controller"};
      ControllerCoefficients smithCoefficients{this, "SmithCoefficients", "Coefficients for the Smith predictor"};
    };

    class Output : public Corvane::ModuleGroup {
     public:
      using Corvane::ModuleGroup::ModuleGroup;

      class Proportional : public Corvane::ModuleGroup {
       public:
        using Corvane::ModuleGroup::ModuleGroup;
        ControllerChannel daq{this, "DAQ", daqDescription, false, false};
      };

      class Total : public Corvane::ModuleGroup {
       public:
        using Corvane::ModuleGroup::ModuleGroup;
        ControllerChannel daq{this, "DAQ", daqDescription, true, false};
      };

      Proportional proportional{this, "Proportional", "Proportional controller output"};
      Total total{this, "Total", "Total output passed to the vector modulator"};
      llrf::RotationParameter calibration{this, "Calibration", "Controller output calibration", 1, 0.0, -1.0, true};
      RotationAndScalingTable calibrationTable{this, "CalibrationTable", ""};
    };

    class Status : public Corvane::ModuleGroup {
     public:
      using Corvane::ModuleGroup::ModuleGroup;

      using InhibitAlgos = ::InhibitAlgos;
      using BbfStatus = ::BbfStatus;

      /// OK on "overall" while the board's "controllerStatus" word is 0, FAULT otherwise.
      Corvane::ExactMonitor<std::uint32_t> overall{this, "controllerStatus", "overall", constant(0), constant(false),
          "Overall controller status (0 = ok, 1 = not ok)"};
      InhibitAlgos inhibitAlgos{
          this, ".", "Filtered overall status used to detect when algorithms like OVC and LFF should not run."};
      BbfStatus bbfStatus{this, ".", ""};
    };

    /// The feed-forward and feedback switches.
    using Enable = ControllerEnable;

   private:
    /// Decided, and the group disabled, before any member is built: members of a controller that never runs
    /// read no configuration that only a running controller needs.
    bool _runsController{disableUnlessRunning()};
    bool disableUnlessRunning();

   public:
    TableGeneration::TGenMain tableGeneration{this, ".", "Generation of control tables"};
    GainTable gainTable{this, "GainTable", "Generation of gain table"};
    FeedForwardTable feedForwardTable{this, "FeedForward", "Summed FF table from components"};
    RotationAndScalingTable feedForwardRotationTable{this, "FeedForward/RotationTable", ""};
    SetPoint setPoint{this, "SetPoint", "Setpoint table as used by the controller"};
    VectorSum vectorSum{this, "VectorSum", "Calibrated vector sum"};
    Error error{this, "Error", "Controller input"};
    AmplitudePhaseError amplitudePhaseError{this, "AmplitudePhaseError", "Averaged error of amplitude and phase"};
    FeedForward feedForward{this, "FeedForward", "Feed forward"};
    FeedBack feedBack{this, "FeedBack", "FeedBack controller parameters"};
    Output output{this, "Output", "Output"};
    Status status{this, "Status", "Controller status"};
    Enable enable{this, ".", ""};
    /// Built last: it collects the client interfaces of the table writers above.
    MultiClientFirmwareMutex tableBufferMutex{this, "/Controller/Configuration/tableBufferMode", ""};
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
