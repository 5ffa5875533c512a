#include "AmplitudePhaseError.h"

void AmplitudePhaseError::mainLoop() {
  _state = {};
  fault.writeIfDifferent(_state.fault());
  while(true) {
    readAll();
    amplitude = AmplitudePhaseErrorGrading::amplitudeError(setPointSamples.amplitude, vectorSumSamples.amplitude);
    phase = AmplitudePhaseErrorGrading::phaseError(setPointSamples.phase, vectorSumSamples.phase);
    amplitude.write();
    phase.write();
    const bool within = AmplitudePhaseErrorGrading::withinLimits(amplitude, phase, amplitudeLimit, phaseLimit);
    if(_state.update(within, faultCountSet, faultCountClear)) fault.setAndWrite(_state.fault());
  }
}
