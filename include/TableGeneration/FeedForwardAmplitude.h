// The amplitude of the generated feed-forward table, sample by sample: the
// set-point amplitude during the filling, scaled by the flat-top ratio during
// the flat-top (with the amplitude slope across it), zero after the pulse; the
// rise, the filling-to-flat-top step and the fall optionally smoothed by a sine
// or linear transition. Plain computation, no state.
#pragma once

#include "TableGeneration/PerBunchFlattop.h"
#include "TableGeneration/PulseIndices.h"

#include <cstdint>
#include <span>

namespace TableGeneration {

  /// The operator values the feed-forward amplitude depends on.
  struct FeedForwardAmplitudeInputs {
    double amplitude{}; // A, the set-point amplitude
    double amplitudeSlope{}; // S, change across the flat-top
    double flattopRatio{};
    std::int32_t riseFunction{}, stepFunction{}, fallFunction{}; // 0 off, 1 sine, 2 linear
  };

  /// A transition from `from` to `to` at `x` in [0, 1): a quarter sine for
  /// `selector` 1, a half sine (S-curve) for -1, linear otherwise.
  double smoothFunction(std::int32_t selector, double from, double to, double x);

  /// Rise, filling plateau and filling-to-flat-top step into `amplitude`
  /// (only the samples these ranges cover are written).
  void feedForwardFillingAmplitude(
      std::span<double> amplitude, const TableIndices& indices, const FeedForwardAmplitudeInputs& in);

  /// Flat-top ramp and, when the decay begins inside the table, the fall.
  void feedForwardFlattopAmplitude(
      std::span<double> amplitude, const TableIndices& indices, const FeedForwardAmplitudeInputs& in);

  /// With per-bunch set-points in force: the set-point table's flat-top (its
  /// own sample indices, the feed-forward delay plays no part), the amplitude
  /// times `flattopRatio` and the phase as it is. Nothing when `perBunch` is
  /// not enabled.
  void feedForwardFlattopFromPerBunchTable(std::span<double> amplitude, std::span<double> phase,
      std::span<const double> setPointAmplitude, std::span<const double> setPointPhase, const TableIndices& indices,
      double flattopRatio, const PerBunchFlattop& perBunch);

} // namespace TableGeneration
