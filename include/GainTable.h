// The feedback gain table: the controller's gain sample by sample over the pulse, loaded into the board's
// double-buffered table "/Controller/FeedBack/Gain/Table". Its parameters, computation and its client of the
// firmware table mutex join this module with its implementation.
#pragma once

#include <Corvane/ApplicationModule.h>

class GainTable : public Corvane::ApplicationModule {
 public:
  using Corvane::ApplicationModule::ApplicationModule;
  void mainLoop() override {}
};
