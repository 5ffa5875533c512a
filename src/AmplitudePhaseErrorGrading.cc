#include "AmplitudePhaseErrorGrading.h"

#include <cmath>

namespace AmplitudePhaseErrorGrading {

  double amplitudeError(float setPoint, float vectorSum) {
    if(!(setPoint > 0.F)) return 0.0;
    return static_cast<double>(std::fabs(vectorSum - setPoint)) * 100.0 / static_cast<double>(setPoint);
  }

  double phaseError(float setPoint, float vectorSum) {
    double d = static_cast<double>(std::fabs(vectorSum - setPoint));
    if(static_cast<float>(d) > 360.0F) d = std::fmod(d, 360.0);
    if(d > 180.0) d = 360.0 - d;
    return d;
  }

  bool withinLimits(double amplitudeError, double phaseError, double amplitudeLimit, double phaseLimit) {
    return amplitudeLimit > amplitudeError && phaseLimit > phaseError;
  }

  bool FaultState::update(bool within, std::uint32_t countSet, std::uint32_t countClear) {
    if(within) {
      if(_fault == 0) return false;
      if(++_count > countClear) {
        _fault = 0;
        _count = 0;
        return true;
      }
      return false;
    }
    if(_fault == 0) {
      if(++_count > countSet) {
        _fault = 1;
        _count = 0;
        return true;
      }
      return false;
    }
    if(_count > countSet) {
      _count = 0;
      return true;
    }
    return false;
  }

} // namespace AmplitudePhaseErrorGrading
