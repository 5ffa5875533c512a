#include "TableGeneration/PulseIndices.h"

#include "TableNumerics.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace TableGeneration {

  namespace {

    /// fs x time as a sample count, rounded half away from zero, saturated; NaN
    /// counts 0.
    std::int64_t samplesOf(double fs, double time) {
      return TableNumerics::saturatingRounding<std::int32_t>(fs * time);
    }

    std::int32_t toInt32(std::int64_t value) {
      return static_cast<std::int32_t>(std::clamp<std::int64_t>(
          value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
    }

    PulseIndices continuousWave(std::uint64_t pulseLength) {
      // the whole table is flat-top; decayStart lies one past the last sample
      const auto end = toInt32(static_cast<std::int64_t>(std::min<std::uint64_t>(pulseLength, INT32_MAX)));
      PulseIndices result;
      result.decayStart = end;
      result.table.ffDecayBegin = end;
      result.table.ffFallEnd = end;
      result.table.spDecayBegin = end;
      return result;
    }

  } // namespace

  PulseIndices computePulseIndices(
      const PulseTiming& timing, std::uint64_t pulseLength, const ConsistencyReport& report) {
    if(timing.cwMode != 0) return continuousWave(pulseLength);

    const double fs = timing.samplingFrequency;
    auto clamped = [pulseLength](std::int32_t index, std::int64_t offset) {
      return TableNumerics::clampedIndexSum(index, offset, pulseLength);
    };
    using TableNumerics::saturatingTruncation;

    PulseIndices r;
    std::int64_t i = saturatingTruncation<std::int32_t>(std::floor(fs * timing.delay));
    if(!(i >= 0)) {
      report("i >= 0", 50);
      i = 0;
    }
    r.fillingStart = toInt32(i);

    i = saturatingTruncation<std::int32_t>(std::floor((timing.delay + timing.fillingDuration) * fs));
    if(!(i >= r.fillingStart)) {
      report("i >= indices.fillingStart", 54);
      i = r.fillingStart;
    }
    r.flattopStart = toInt32(i);

    i = saturatingTruncation<std::int32_t>(
        std::ceil((timing.delay + timing.fillingDuration + timing.flattopDuration) * fs));
    if(!(i > r.flattopStart)) {
      report("i > indices.flattopStart", 58);
      i = std::int64_t{r.flattopStart} + 1;
    }
    r.decayStart = toInt32(i);

    auto& t = r.table;
    t.ffDelaySamples = toInt32(samplesOf(fs, timing.feedForwardDelay));
    t.spDelaySamples = toInt32(samplesOf(fs, timing.setPointDelay));
    t.riseSamples = timing.riseFunction != 0 ? toInt32(samplesOf(fs, timing.riseTime)) : 0;
    t.stepSamples = timing.stepFunction != 0 ? toInt32(samplesOf(fs, timing.stepTime)) : 0;
    t.fallSamples = timing.fallFunction != 0 ? toInt32(samplesOf(fs, timing.fallTime)) : 0;

    t.ffFillingBegin = clamped(r.fillingStart, t.ffDelaySamples);
    t.ffRiseEnd = clamped(t.ffFillingBegin, t.riseSamples);
    const std::int32_t ffFlattop = clamped(r.flattopStart, t.ffDelaySamples);
    t.ffStepBegin = clamped(ffFlattop, -std::int64_t{t.stepSamples});
    t.ffStepEnd = clamped(ffFlattop, t.stepSamples);
    t.ffDecayBegin = clamped(r.decayStart, t.ffDelaySamples);
    t.ffFallEnd = clamped(t.ffDecayBegin, t.fallSamples);

    t.spFillingBegin = clamped(r.fillingStart, t.spDelaySamples);
    t.spFlattopBegin = clamped(r.flattopStart, t.spDelaySamples);
    t.spDecayBegin = clamped(r.decayStart, t.spDelaySamples);
    if(timing.setPointSmoothEnable) t.spFlattopBegin = clamped(t.spFlattopBegin, t.stepSamples);

    r.feedForwardModulation = {clamped(t.ffFillingBegin, samplesOf(fs, timing.feedForwardModulationStart)),
        clamped(t.ffFillingBegin, samplesOf(fs, timing.feedForwardModulationStop))};
    r.setPointModulation = {clamped(t.spFillingBegin, samplesOf(fs, timing.setPointModulationStart)),
        clamped(t.spFillingBegin, samplesOf(fs, timing.setPointModulationStop))};
    return r;
  }

} // namespace TableGeneration
