// One set of the controller's filter coefficients (the MIMO controller's, the Smith predictor's), applied to
// the board on request. Its variables and the applying join this module with its implementation.
#pragma once

#include <Corvane/ApplicationModule.h>

class ControllerCoefficients : public Corvane::ApplicationModule {
 public:
  using Corvane::ApplicationModule::ApplicationModule;
  void mainLoop() override {}
};
