// The accepted per-bunch set-point tables and their regions, as the set-point
// and feed-forward flat-tops read them. Bunch b lies at sample tZeroSamples + b
// of the pulse; region indices count bunches. A plain view: the spans refer to
// the per-bunch group's outputs and stay valid for one table regeneration.
#pragma once

#include <cstdint>
#include <span>

namespace TableGeneration {

  struct PerBunchFlattop {
    bool enabled{false}; // per-bunch set-points built and actually in force
    std::uint32_t tZeroSamples{0};
    std::span<const double> amplitude; // accepted per-bunch amplitudes
    std::span<const double> phase; // accepted per-bunch phases, degrees
    std::uint32_t nBeamRegions{0};
    std::uint32_t nTransitionRegions{0}; // nBeamRegions + 1, or both 0 when the decay begins before bunch 0
    std::span<const std::uint32_t> startIndexBeam; // first bunch of beam region k + 1
    std::span<const std::uint32_t> startIndexTransition; // first bunch of transition region k
  };

} // namespace TableGeneration
