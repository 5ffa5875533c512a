#include "ControllerChannel.h"

ControllerChannel::ControllerChannel(Corvane::ModuleGroup* owner, const std::string& name,
    const std::string& description, bool computeAmplitudePhase_, bool applyBitShift_,
    const std::unordered_set<std::string>& tags)
: Corvane::ModuleGroup(owner, name, description, tags), computeAmplitudePhase(computeAmplitudePhase_),
  applyBitShift(applyBitShift_),
  computations(this, ".", "Computations for controller DAQ channel", computeAmplitudePhase_, applyBitShift_) {}

ControllerChannel::Computations::Computations(Corvane::ModuleGroup* owner, const std::string& name,
    const std::string& description, bool computeAmplitudePhase_, bool applyBitShift_,
    const std::unordered_set<std::string>& tags)
: Corvane::ApplicationModule(owner, name, description, tags), computeAmplitudePhase(computeAmplitudePhase_),
  applyBitShift(applyBitShift_) {}
