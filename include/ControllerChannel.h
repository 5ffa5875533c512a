// One DAQ channel of the controller board: the group holds the module that turns the channel's raw I/Q
// traces into amplitude and phase, samples and statistics. The two flags say whether it computes amplitude
// and phase, and whether the vector-sum bit shift applies to its scaling. The computation and its variables
// join the module with its implementation.
#pragma once

#include <Corvane/ApplicationModule.h>
#include <Corvane/ModuleGroup.h>

#include <string>
#include <unordered_set>

class ControllerChannel : public Corvane::ModuleGroup {
 public:
  ControllerChannel(Corvane::ModuleGroup* owner, const std::string& name, const std::string& description,
      bool computeAmplitudePhase, bool applyBitShift, const std::unordered_set<std::string>& tags = {});

  class Computations : public Corvane::ApplicationModule {
   public:
    Computations(Corvane::ModuleGroup* owner, const std::string& name, const std::string& description,
        bool computeAmplitudePhase, bool applyBitShift, const std::unordered_set<std::string>& tags = {});
    void mainLoop() override {}

    bool computeAmplitudePhase;
    bool applyBitShift;
  };

  bool computeAmplitudePhase;
  bool applyBitShift;
  Computations computations;
};
