#include "TableGeneration/FeedForwardAmplitude.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace TableGeneration {

  namespace {

    /// Calls `f(i, x)` for i in [begin, end) inside the table, x = (i - begin) / (end - begin).
    template<class F>
    void forEachOfRange(std::size_t length, std::int64_t begin, std::int64_t end, F&& f) {
      if(end <= begin) return;
      const double n = static_cast<double>(end - begin);
      const std::int64_t last = std::min<std::int64_t>(end, static_cast<std::int64_t>(length));
      for(std::int64_t i = std::max<std::int64_t>(begin, 0); i < last; ++i) {
        f(static_cast<std::size_t>(i), static_cast<double>(i - begin) / n);
      }
    }

  } // namespace

  double smoothFunction(std::int32_t selector, double from, double to, double x) {
    constexpr double pi = std::numbers::pi;
    double w = x;
    if(selector == 1)
      w = std::sin(0.5 * (pi * x));
    else if(selector == -1)
      w = 0.5 * (std::sin(pi * (x - 0.5)) + 1);
    return (to - from) * w + from;
  }

  void feedForwardFillingAmplitude(
      std::span<double> amplitude, const TableIndices& ix, const FeedForwardAmplitudeInputs& in) {
    const double a = in.amplitude;
    forEachOfRange(amplitude.size(), ix.ffFillingBegin, ix.ffRiseEnd,
        [&](std::size_t i, double x) { amplitude[i] = smoothFunction(in.riseFunction, 0, a, x); });
    forEachOfRange(amplitude.size(), ix.ffRiseEnd, ix.ffStepBegin, [&](std::size_t i, double) { amplitude[i] = a; });
    // the step's sine selection is the S-shaped half wave
    forEachOfRange(amplitude.size(), ix.ffStepBegin, ix.ffStepEnd,
        [&](std::size_t i, double x) { amplitude[i] = smoothFunction(-in.stepFunction, a, a * in.flattopRatio, x); });
  }

  void feedForwardFlattopAmplitude(
      std::span<double> amplitude, const TableIndices& ix, const FeedForwardAmplitudeInputs& in) {
    forEachOfRange(amplitude.size(), ix.ffStepEnd, ix.ffDecayBegin,
        [&](std::size_t i, double x) { amplitude[i] = (x * in.amplitudeSlope + in.amplitude) * in.flattopRatio; });
    if(static_cast<std::size_t>(ix.ffDecayBegin) >= amplitude.size()) return;
    const double end = (in.amplitude + in.amplitudeSlope) * in.flattopRatio;
    // the first fall sample carries the full end-of-flat-top value
    forEachOfRange(amplitude.size(), ix.ffDecayBegin, ix.ffFallEnd,
        [&](std::size_t i, double x) { amplitude[i] = smoothFunction(in.fallFunction, 0, end, 1 - x); });
  }

  void feedForwardFlattopFromPerBunchTable(std::span<double> amplitude, std::span<double> phase,
      std::span<const double> setPointAmplitude, std::span<const double> setPointPhase, const TableIndices& ix,
      double flattopRatio, const PerBunchFlattop& perBunch) {
    if(!perBunch.enabled) return;
    const std::size_t length =
        std::min({amplitude.size(), phase.size(), setPointAmplitude.size(), setPointPhase.size()});
    forEachOfRange(length, ix.spFlattopBegin, ix.spDecayBegin, [&](std::size_t i, double) {
      amplitude[i] = setPointAmplitude[i] * flattopRatio;
      phase[i] = setPointPhase[i];
    });
  }

} // namespace TableGeneration
