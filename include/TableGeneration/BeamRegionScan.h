// The bunch pattern of the per-bunch set-points split into regions, and the
// slew-rate check of the per-bunch tables, as plain computations without
// process variables.
//
// Regions count bunches: transition region 0 starts at bunch 0 and runs to the
// start of beam region 1; beam region k (1 .. nBeamRegions) runs from
// startIndexBeam[k - 1] to startIndexTransition[k] - 1; transition region k runs
// from startIndexTransition[k] to the start of beam region k + 1, the last one to
// the end of the scanned bunches. Any region may be empty.
#pragma once

#include <Corvane/Types.h>

#include <llrf/MultiFlattopLimits.h>

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace TableGeneration {

  struct BeamRegionIndices {
    BeamRegionIndices(std::size_t nMaxBeamRegions, std::size_t nMaxTransitionRegions)
    : startIndexBeam(nMaxBeamRegions, 0),
      startIndexTransition(nMaxTransitionRegions, 0) {}

    std::uint32_t nBeamRegions{0};
    std::uint32_t nTransitionRegions{0}; // nBeamRegions + 1 once a scan ran
    std::vector<std::uint32_t> startIndexBeam; // first bunch of beam region k + 1
    std::vector<std::uint32_t> startIndexTransition; // first bunch of transition region k
    /// The scan stopped at the nMaxBeamRegions-th beam region, which then swallowed
    /// the rest of the pattern: such a pattern cannot be used.
    bool tooManyBeamRegions{false};
  };

  /// Splits the first `flattopBunches` bunches of the pattern (fewer when the
  /// pattern is shorter) into regions. No region at all (both counts 0) when
  /// `flattopBunches` <= 0. The scan stops when the beam regions reach
  /// `nMaxBeamRegions` (at least 1); the region that reaches it runs to the end.
  BeamRegionIndices scanBeamRegions(
      std::span<const Corvane::Boolean> bunchIsTransition, std::int64_t flattopBunches, std::uint32_t nMaxBeamRegions);

  /// What the slew-rate check found: one flag per bunch (a too short transition
  /// clears its whole region), one bit per transition region (bit t for region t;
  /// the first and last regions never fail), and the minimum time each
  /// transition between two beam regions needs, in microseconds.
  struct SlewRateCheck {
    std::vector<Corvane::Boolean> bunchOk;
    std::uint32_t transitionOk{0xFFFFFFFFu};
    std::vector<double> transitionMinTime;
    bool ok{true};
  };

  /// Checks every transition between two beam regions (the change from the last
  /// bunch before it to the first bunch after it needs less time than the
  /// transition region's bunches take) and every step between neighbouring beam
  /// bunches (at most one sample's time). Bunch b lasts 1 / samplingFrequency
  /// microseconds. `brokenRegion` is called for a transition region that ends
  /// before it starts (its length is then taken as 0). Needs fewer than 32
  /// transition regions and tables of the pattern's length.
  SlewRateCheck checkSlewRate(const BeamRegionIndices& regions, std::span<const double> amplitude,
      std::span<const double> phase, std::span<const Corvane::Boolean> bunchIsTransition,
      const llrf::MultiFlattopLimits& limits, double samplingFrequency, std::size_t nMaxTransitionRegions,
      const std::function<void()>& brokenRegion);

} // namespace TableGeneration
