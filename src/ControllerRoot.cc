#include "ControllerRoot.h"

#include "ConfigurationKeys.h"
#include "InstanceType.h"

#include <Corvane/ConfigReader.h>

#include <cstdint>

ControllerRoot::ControllerRoot(Corvane::Module* owner, [[maybe_unused]] const std::string& name,
    const std::string& description)
: Corvane::ModuleGroup(owner, ".", description, {}),
  device(this, "Controller", "/Server/triggerNumber", {}, "/ToControlSystem"),
  initHandler(this, ".", "Board initialisation", "./initHardware.py CtrlBoard", device, "initScriptOutput", 10),
  controller(this, "Controller", "RF Controller"), controllerBoard(this, "Controller", "RF Controller"),
  fromSlave(this, "Controller", "RF Controller") {}

ControllerRoot::Controller::Controller(Corvane::Module* owner, const std::string& name, const std::string& description)
: Corvane::ModuleGroup(owner, name, description) {}

bool ControllerRoot::Controller::disableUnlessRunning() {
  const bool runs = runsOwnController(configuredInstanceType(appConfig()));
  if(!runs) disable();
  return runs;
}

bool ControllerRoot::Controller::Error::automationEnabled() const {
  return appConfig().get<std::int32_t>(ConfigurationKeys::enableAutomation) != 0;
}

ControllerRoot::ControllerBoard::ControllerBoard(
    ControllerRoot* owner, const std::string& name, const std::string& description)
: Corvane::ModuleGroup(owner, name, description),
  fpgaClockMonitor(this, "Board/fpgaClockError", "Board/fpgaClockStatus", constant(0), constant(0),
      "Monitor of FPGA clock", {}, {}),
  seuDetection(this, "FirmwareSEUDetection", "Detection of FPGA single event upsets", {}),
  forceReinit(this, "BoardInit", "Board initialisation", owner->device, {}) {}

ControllerRoot::FromSlave::FromSlave(Corvane::Module* owner, const std::string& name, const std::string& description)
: Corvane::ModuleGroup(owner, name, description),
  slaveReadiness(this, ".", "slaveLlrfReady", "slaveLlrfReadyStatus", "", "", {}, {"_Corvane_StatusOutput_statusOutput"}) {
  if(configuredInstanceType(appConfig()) != InstanceType::master) disable();
}
