#include "TableGeneration/BeamRegionScan.h"

#include <algorithm>

namespace TableGeneration {

  BeamRegionIndices scanBeamRegions(
      std::span<const Corvane::Boolean> bunchIsTransition, std::int64_t flattopBunches, std::uint32_t nMaxBeamRegions) {
    BeamRegionIndices r(nMaxBeamRegions, std::size_t{nMaxBeamRegions} + 1);
    if(flattopBunches <= 0) return r;
    r.nTransitionRegions = 1;
    const auto n = static_cast<std::uint32_t>(std::min<std::int64_t>(flattopBunches, std::ssize(bunchIsTransition)));
    bool previous = true;
    for(std::uint32_t b = 0; b < n; ++b) {
      const bool isTransition = bunchIsTransition[b];
      if(isTransition == previous) continue;
      previous = isTransition;
      if(isTransition) {
        r.startIndexTransition[r.nTransitionRegions++] = b;
        continue;
      }
      r.startIndexBeam[r.nBeamRegions++] = b;
      if(r.nBeamRegions >= nMaxBeamRegions) {
        r.tooManyBeamRegions = true;
        break;
      }
    }
    // the scan ended inside a beam region: the last transition region is empty
    if(r.nTransitionRegions == r.nBeamRegions) r.startIndexTransition[r.nTransitionRegions++] = n;
    return r;
  }

  SlewRateCheck checkSlewRate(const BeamRegionIndices& regions, std::span<const double> amplitude,
      std::span<const double> phase, std::span<const Corvane::Boolean> bunchIsTransition,
      const llrf::MultiFlattopLimits& limits, double samplingFrequency, std::size_t nMaxTransitionRegions,
      const std::function<void()>& brokenRegion) {
    SlewRateCheck c;
    c.bunchOk.assign(bunchIsTransition.size(), true);
    c.transitionMinTime.assign(nMaxTransitionRegions, 0.0);
    auto at = [&](std::size_t b) { return llrf::Setpoint{amplitude[b], phase[b]}; };
    // transitions between beam regions t and t + 1
    for(std::uint32_t t = 1; t + 1 < regions.nTransitionRegions; ++t) {
      const std::uint32_t s = regions.startIndexTransition[t];
      std::uint32_t e = regions.startIndexBeam[t];
      if(s > e) {
        brokenRegion();
        e = s;
      }
      const double needed = limits.computeTransitionTime(at(s - 1), at(e));
      c.transitionMinTime[t] = needed;
      if(needed >= static_cast<double>(e - s) / samplingFrequency) {
        c.transitionOk &= ~(std::uint32_t{1} << t);
        std::fill(c.bunchOk.begin() + s, c.bunchOk.begin() + e, Corvane::Boolean{false});
        c.ok = false;
      }
    }
    // steps inside the beam regions, one sample each
    const double sample = 1.0 / samplingFrequency;
    if(bunchIsTransition.empty()) return c;
    auto previous = at(0);
    for(std::size_t b = 1; b < bunchIsTransition.size(); ++b) {
      if(bunchIsTransition[b]) continue;
      const auto current = at(b);
      if(bunchIsTransition[b - 1]) previous = current;
      if(limits.computeTransitionTime(previous, current) > sample) {
        c.bunchOk[b] = false;
        c.ok = false;
      }
      previous = current;
    }
    return c;
  }

} // namespace TableGeneration
