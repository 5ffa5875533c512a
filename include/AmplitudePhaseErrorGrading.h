// The arithmetic of the amplitude and phase error monitor: the relative amplitude error and the absolute
// phase error between the vector sum and the set point, and the fault state with its hold-off counts.
// Plain functions and a small value type, free of the framework; AmplitudePhaseError wraps them.
#pragma once

#include <cstdint>

namespace AmplitudePhaseErrorGrading {

  /// |vectorSum - setPoint| / setPoint in percent: the difference in float, the ratio in double. 0 while the
  /// set point is not positive (no RF) or not a number.
  double amplitudeError(float setPoint, float vectorSum);

  /// |vectorSum - setPoint| in degrees folded into [0, 180]: the difference in float, then reduced modulo 360
  /// with fmod (the same result as subtracting 360 while above 360, but never a loop that a huge or infinite
  /// phase would not leave) and mirrored above 180. Not finite when either phase is not.
  double phaseError(float setPoint, float vectorSum);

  /// Within limits only when both errors lie strictly below their limits; a NaN error (or limit) exceeds.
  bool withinLimits(double amplitudeError, double phaseError, double amplitudeLimit, double phaseLimit);

  /// The fault flag with its counter of triggers since the last change. The fault is raised on the
  /// (countSet + 1)-th exceeding trigger and cleared on the (countClear + 1)-th trigger within limits; triggers
  /// of the other kind in between neither count nor reset.
  class FaultState {
   public:
    /// Takes one trigger; true when "fault" is to be written (a change, or an exceeding fault whose
    /// count has run out again).
    bool update(bool within, std::uint32_t countSet, std::uint32_t countClear);

    std::int32_t fault() const { return _fault; }
    std::uint64_t count() const { return _count; }

   private:
    std::int32_t _fault{0};
    std::uint64_t _count{0};
  };

} // namespace AmplitudePhaseErrorGrading
