#include "ControllerEnable.h"

// The group's own description is empty; the text describes both of its variables.
ControllerEnable::Switch::Switch(Corvane::Module* owner, const std::string& name, const std::string& description)
: Corvane::VariableGroup(owner, name, "", {}), enable(this, "enable", "", description, {}),
  enable_actual(this, "enable_actual", "", description, {}) {}

void ControllerEnable::Switch::switchOff() {
  if(enable) enable.setAndWrite(false);
  enable_actual.setAndWrite(false);
}

void ControllerEnable::Switch::forward() { enable_actual.setAndWrite(enable.value()); }

void ControllerEnable::mainLoop() {
  auto group = readAnyGroup();
  feedForward.switchOff();
  feedBack.switchOff();
  while(true) {
    const auto changed = group.readAny();
    if(changed == feedForward.enable.getId()) {
      feedForward.forward();
    }
    else {
      feedBack.forward();
    }
  }
}
