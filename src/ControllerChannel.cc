#include "ControllerChannel.h"

ControllerChannel::ControllerChannel(Corvane::ModuleGroup* owner, const std::string& name,
    const std::string& description, bool computeAmplitudePhase, bool applyBitShift,
    const std::unordered_set<std::string>& tags)
: Corvane::ModuleGroup(owner, name, description, tags), computeAmplitudePhase(computeAmplitudePhase),
  applyBitShift(applyBitShift),
  computations(this, ".", "Computations for controller DAQ channel", computeAmplitudePhase, applyBitShift) {}

ControllerChannel::Computations::Samples::Samples(Corvane::VariableGroup* owner, const std::string& name,
    const std::string& description, bool computeAmplitudePhase)
: Corvane::VariableGroup(owner, name, description) {
  if(computeAmplitudePhase) amplitudePhase = AmplitudePhase<Corvane::ScalarOutput, float>(this, ".", "", {});
}

ControllerChannel::Computations::Statistics::Statistics(
    Corvane::Module* owner, const std::string& name, const std::string& description, bool computeAmplitudePhase)
: Corvane::VariableGroup(owner, name, description), computeAmplitudePhase(computeAmplitudePhase) {
  if(computeAmplitudePhase) ap = AP(this, ".", "", {});
}
