// The phase of one sample of a generated table (feed-forward or set-point), in
// degrees: the set-point phase plus the frequency-offset ramp, the filling
// delta, the flat-top slope and the optional exponential phase modulation
// inside the table's modulation window, wrapped into [-180, 180] outside
// continuous-wave mode. Plain computation, no state; non-finite intermediate
// results are reported and repaired, never returned.
#pragma once

#include "TableGeneration/PulseIndices.h"

#include <cstdint>

namespace TableGeneration {

  /// The values the phase of one table depends on.
  struct PhaseRuleInputs {
    double phase{}; // deg, the set-point phase
    double phaseFillingDelta{}; // deg, added before the flat-top
    double phaseSlope{}; // deg per flat-top
    bool frequencyModulation{};
    double frequencyOffset{}; // kHz
    double samplingFrequency{}; // MHz
    std::int32_t cwMode{};
    std::int32_t ffFillingBegin{}; // reference sample of the frequency ramp
    std::int64_t flattopBegin{}, flattopEnd{}; // a and b: this table's flat-top, end exclusive (unclamped)
    // exponential modulation (functionSelect 1 switches it on)
    std::int32_t functionSelect{};
    double maximumPhaseOffset{}; // deg
    double timeConstant{}; // us
    ModulationWindow window;
  };

  /// The exponential modulation's term at `x` samples into a window of `n`
  /// samples with the time constant `tau` in samples (already limited): falls
  /// from 1 at x = 0 to 0 at x = n. Uses expm1, so that a time constant so long
  /// that exp(-n / tau) rounds to 1 gives the linear limit instead of 0 / 0.
  double exponentialModulation(double x, double n, double tau);

  /// The phase of sample `i`, in degrees. `report` receives failed consistency
  /// checks (lines 69 and 74).
  double phaseOfSample(const PhaseRuleInputs& in, std::int32_t i, const ConsistencyReport& report);

} // namespace TableGeneration
