// The table generation: turns the operators' pulse, feed-forward, set-point and per-bunch parameters into
// the controller's feed-forward and set-point tables. The controller builds it first, named ".", so that its
// variables lie directly in "/Controller". Its sub-algorithms, variables and its client of the firmware table
// mutex join this module with its implementation.
#pragma once

#include <Corvane/ApplicationModule.h>
#include <Corvane/ModuleGroup.h>

#include <string>

namespace TableGeneration {

  class TGenMain : public Corvane::ApplicationModule {
   public:
    TGenMain(Corvane::ModuleGroup* owner, const std::string& name, const std::string& description)
    : Corvane::ApplicationModule(owner, name, description) {}
    void mainLoop() override {}
  };

} // namespace TableGeneration
