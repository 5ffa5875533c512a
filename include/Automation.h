// The RF start-up automation group: the automation state machine and the interlock detection.
// "Configuration/enableAutomation" 0 takes the whole group out of the application. An enabled
// automation refuses a slave or monitoring-only instance, an enabled phase setter, and disabled
// controller channel statistics: its constructor throws Corvane::StartUpRefusal, and the process
// ends with a "!!! " line on standard output and exit status 1.
#pragma once

#include "InterlockDetection.h"

#include <Corvane/ApplicationModule.h>
#include <Corvane/ModuleGroup.h>

class Automation : public Corvane::ModuleGroup {
 public:
  Automation(Corvane::Module* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags = {});

  /// The automation state machine; its states and variables are added with its implementation.
  class Main : public Corvane::ApplicationModule {
   public:
    using Corvane::ApplicationModule::ApplicationModule;
    void mainLoop() override {}
  };

  Main main{this, ".", ""};
  InterlockDetection interlockDetection{this, "InterlockDetection", "Detection of external interlocks"};
};
