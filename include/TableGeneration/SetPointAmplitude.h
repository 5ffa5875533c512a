// The amplitude (and, with per-bunch set-points, the flat-top phase) of the
// set-point table, sample by sample: the filling from the analytic charging
// curve of the cavity or from a simulation of the cavity driven by the
// feed-forward amplitude, the flat-top as amplitude plus slope, or the
// per-bunch tables joined by half-sine transitions. Plain computation, no
// state; indices outside the table are never touched.
#pragma once

#include "TableGeneration/PerBunchFlattop.h"
#include "TableGeneration/PulseIndices.h"

#include <cstdint>
#include <span>

namespace TableGeneration {

  /// The field decay rate per sample of a cavity of loaded Q `qLoaded` (times
  /// `qLoadedFudge`) at `rfFrequency`, sampled at `samplingFrequency` (both in
  /// the same unit).
  double fieldDecayPerSample(double rfFrequency, double samplingFrequency, double qLoaded, double qLoadedFudge);

  /// The charging curve from 0 at `fillingBegin` towards `amplitude`, which it
  /// would reach at `flattopBegin`, with decay rate `w` per sample. A rate so
  /// small that the curve's end rounds to 0 gives the linear limit.
  void chargingCurveFilling(
      std::span<double> table, std::int64_t fillingBegin, std::int64_t flattopBegin, double amplitude, double w);

  /// The cavity simulated from the feed-forward amplitude `feedForward` (read
  /// `offset` samples later than the set-point sample), scaled so that the
  /// filling ends at `amplitude`. Returns false, leaving the filling
  /// unscaled, when it cannot be scaled: `amplitude` is positive while the
  /// simulation ends at 0 or produced a value that is not finite.
  bool simulatedFilling(std::span<double> table, std::span<const double> feedForward, std::int64_t fillingBegin,
      std::int64_t flattopBegin, std::int64_t offset, double amplitude, double w);

  /// `amplitude` + `slope` x k / N for the k-th of the N flat-top samples.
  void setPointFlattopAmplitude(
      std::span<double> table, std::int64_t flattopBegin, std::int64_t decayBegin, double amplitude, double slope);

  /// The flat-top from the per-bunch tables: the scalar set-point before the
  /// first bunch, the accepted per-bunch values in the beam regions, half-sine
  /// ramps in the transitions (the first and the last hold the sample before
  /// them). Nothing is written at or after `decayBegin`. A non-finite value is
  /// reported through `report` (condition text and line) and taken as 0.
  void perBunchSetPointFlattop(std::span<double> amplitude, std::span<double> phase, std::int64_t flattopBegin,
      std::int64_t decayBegin, double scalarAmplitude, double scalarPhase, const PerBunchFlattop& perBunch,
      const ConsistencyReport& report);

} // namespace TableGeneration
