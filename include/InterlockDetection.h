// Detection of external interlocks: gates the controller's feed-forward and feedback paths.
// Its detection logic joins this module with the automation's implementation.
#pragma once

#include <Corvane/ApplicationModule.h>

class InterlockDetection : public Corvane::ApplicationModule {
 public:
  using Corvane::ApplicationModule::ApplicationModule;
  void mainLoop() override {}
};
