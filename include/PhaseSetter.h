// The phase setter: moves the controller's phase to a target in steps, by rotation commands to
// the vector-sum and output calibrations. "Configuration/enablePhaseSetter" 0 takes it out of
// the application. Its variables and stepping join this module with its implementation.
#pragma once

#include <Corvane/ApplicationModule.h>

class PhaseSetter : public Corvane::ApplicationModule {
 public:
  PhaseSetter(Corvane::Module* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags = {});
  void mainLoop() override {}
};
