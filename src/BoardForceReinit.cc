#include "BoardForceReinit.h"

BoardForceReinit::BoardForceReinit(Corvane::ModuleGroup* owner, const std::string& name,
    const std::string& description, Corvane::DeviceModule& device_, const std::unordered_set<std::string>& tags)
: Corvane::ApplicationModule(owner, name, description, tags), device(device_.manager()) {}

void BoardForceReinit::mainLoop() {
  while(true) {
    bootStatus.setAndWrite(true);
    // any write is a request, whatever its value
    forceReinitialisation.read();
    bootStatus.setAndWrite(false);
    if(device) device->requestReinitialisation(requestMessage);
  }
}
