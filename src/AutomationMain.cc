// The automation's dispatcher, its off and error states, and the waits that every state uses.
#include "Automation.h"

#include <set>

void Automation::Main::prepare() {
  controller.pulseShape.cwMode.write();
  interlockDetection.writeAll(false);
}

void Automation::Main::mainLoop() {
  startStateMachine();
  while(true) dispatch();
}

void Automation::Main::startStateMachine() {
  setRequest(MODE_REQUEST::SWITCH_OFF);
  _group = readAnyGroup();
}

void Automation::Main::dispatch() {
  switch(request()) {
    case MODE_REQUEST::SWITCH_OFF:
      rFoff();
      break;
    case MODE_REQUEST::MANUAL:
      manualMode();
      break;
    case MODE_REQUEST::RAMPUP:
      rampUp();
      break;
    case MODE_REQUEST::CALIBRATE_VM_OFFSET:
      calibrateVMoffset();
      break;
    default:
      errorState("Unknown mode requested: " + std::to_string(_my.requestMode.value()));
  }
}

void Automation::Main::switchRFoff() {
  logger(Corvane::Logger::Severity::debug) << "Switching RF off..." << std::endl;
  interlockDetection.feedForward.enable = false;
  interlockDetection.feedBack.enable = false;
  // the group write also sends the reset request
  interlockDetection.writeAll(false);
  auto& cascade = controller.output.calibration.cascadeInputAutomation;
  cascade.scale = 1.0;
  cascade.angle = 0.0;
  cascade.enable = 0;
  controller.pulseShape.cwMode = 0;
  controller.setPoint.amplitude = 0.0;
  showMode(CURRENT_MODE::OFF);
  controller.writeAll(false);
}

void Automation::Main::rFoff() {
  switchRFoff();
  disableInterlockDetection();
  logger(Corvane::Logger::Severity::debug) << "RF switched off." << std::endl;
  while(true) {
    const auto updated = _group.readAny();
    passThroughVMoffset();
    if(updated == _my.requestMode.getId()) return;
  }
}

void Automation::Main::errorState(const std::string& message) {
  switchRFoff();
  logger(Corvane::Logger::Severity::error) << "Entering error state: " << message;
  _my.errorMessage.setAndWrite(message);
  showMode(CURRENT_MODE::ERROR);
  do {
    _group.readAny();
  } while(request() != MODE_REQUEST::CLEAR_ERROR);
  logger(Corvane::Logger::Severity::error) << "Error state cleared";
  _my.errorMessage.setAndWrite("");
  disableInterlockDetection();
  setRequest(MODE_REQUEST::SWITCH_OFF);
}

void Automation::Main::disableInterlockDetection() {
  interlockDetection.enable.setAndWrite(false);
  if(interlockDetection.interlockDetected) interlockDetection.reset.write();
}

bool Automation::Main::abortsOn(
    const Corvane::TransferElementID& updated, const std::function<void()>& beforeLeaving) {
  if(updated == interlockDetection.interlockDetected.getId() && interlockDetection.interlockDetected) {
    if(beforeLeaving) beforeLeaving();
    errorState(interlockMessage);
    return true;
  }
  if(updated == _my.requestMode.getId() && request() == MODE_REQUEST::SWITCH_OFF) {
    if(beforeLeaving) beforeLeaving();
    rFoff();
    return true;
  }
  return false;
}

bool Automation::Main::waitTriggerOrAbort() {
  while(true) {
    const auto updated = _group.readAny();
    if(updated == server.triggerNumber.getId()) return false;
    if(abortsOn(updated)) return true;
  }
}

bool Automation::Main::checkForAbort() {
  if(interlockDetection.interlockDetected) {
    errorState(interlockMessage);
    return true;
  }
  if(request() == MODE_REQUEST::SWITCH_OFF) {
    rFoff();
    return true;
  }
  return false;
}

bool Automation::Main::waitForUpdatesOrAbort(
    const std::vector<Corvane::TransferElementID>& inputs, const std::function<void()>& beforeLeaving) {
  std::set<Corvane::TransferElementID> pending(inputs.begin(), inputs.end());
  while(!pending.empty()) {
    const auto updated = _group.readAny();
    if(abortsOn(updated, beforeLeaving)) return true;
    pending.erase(updated);
  }
  return false;
}
