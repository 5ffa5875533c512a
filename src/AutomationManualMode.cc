// Manual mode of the automation: the operators' settings pass through to the controller and, for the two
// enables, to the interlock detection, which still gates them.
#include "Automation.h"

#include <functional>
#include <map>

void Automation::Main::manualMode() {
  logger(Corvane::Logger::Severity::debug) << "Manual mode activated." << std::endl;
  showMode(CURRENT_MODE::MANUAL);
  controller.output.calibration.cascadeInputAutomation.enable.setAndWrite(0);
  // RF stays off until an operator writes an enable again; the control system keeps showing its values
  _my.feedForward.enable = false;
  _my.feedBack.enable = false;

  auto& interlock = interlockDetection;
  const std::map<Corvane::TransferElementID, std::function<void()>> passThrough{
      {_my.feedForward.enable.getId(),
          [&] { interlock.feedForward.enable.setAndWrite(_my.feedForward.enable.value()); }},
      {_my.feedBack.enable.getId(), [&] { interlock.feedBack.enable.setAndWrite(_my.feedBack.enable.value()); }},
      {_my.pulseShape.cwMode.getId(), [&] { controller.pulseShape.cwMode.setAndWrite(_my.pulseShape.cwMode.value()); }},
      {_my.setPoint.amplitude.getId(),
          [&] { controller.setPoint.amplitude.setAndWrite(_my.setPoint.amplitude.value()); }},
      {_my.setPoint.phase.getId(), [&] { controller.setPoint.phase.setAndWrite(_my.setPoint.phase.value()); }},
      {_my.feedBack.gain.magnitude.getId(),
          [&] { controller.feedBack.gain.magnitude.setAndWrite(_my.feedBack.gain.magnitude.value()); }},
      {_my.vectorModulator.dacOffset.I.getId(), [&] { passThroughVMoffset(); }},
      {_my.vectorModulator.dacOffset.Q.getId(), [&] { passThroughVMoffset(); }}};
  for(const auto& [input, action] : passThrough) action();

  while(true) {
    const auto updated = _group.readAny();
    if(updated == _my.requestMode.getId() && request() == MODE_REQUEST::SWITCH_OFF) {
      if(!_my.feedForward.enable && !_my.feedBack.enable) return;
      logger(Corvane::Logger::Severity::debug) << "*** Cannot switch off manual mode, since RF is still on." << std::endl;
    }
    if(auto action = passThrough.find(updated); action != passThrough.end()) action->second();
  }
}
