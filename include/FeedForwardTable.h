// The feed-forward table: the generated table plus the operators' and the learned corrections, loaded into
// the board's double-buffered table "/Controller/FeedForward/TableTotal". Its variables, the summation and
// its client of the firmware table mutex join this module with its implementation.
#pragma once

#include <Corvane/ApplicationModule.h>

class FeedForwardTable : public Corvane::ApplicationModule {
 public:
  using Corvane::ApplicationModule::ApplicationModule;
  void mainLoop() override {}
};
