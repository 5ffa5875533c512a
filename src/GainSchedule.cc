#include "GainSchedule.h"

#include "TableNumerics.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace GainSchedule {

  namespace {

    std::int32_t saturatingSum(std::int64_t a, std::int64_t b, std::int64_t c = 0) {
      return static_cast<std::int32_t>(std::clamp<std::int64_t>(
          a + b + c, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
    }

    /// Sets `table`[k] = `value` for `from` <= k < `to`; nothing when the range is empty.
    void fill(std::span<double> table, std::int64_t from, std::int64_t to, double value) {
      for(auto k = from; k < to; ++k) table[static_cast<std::size_t>(k)] = value;
    }

  } // namespace

  std::int32_t samples(double time, double samplingFrequency) {
    const double product = time * samplingFrequency;
    if(std::isnan(product)) return std::numeric_limits<std::int32_t>::min();
    return TableNumerics::saturatingTruncation<std::int32_t>(product);
  }

  Indices indices(const Timing& timing) {
    const double fs = timing.samplingFrequency;
    const std::int32_t g = samples(timing.gainDelay, fs);
    const std::int32_t d = samples(timing.pulseDelay, fs);
    const std::int32_t end = samples(timing.pulseDelay + timing.fillingDuration + timing.flattopDuration, fs);
    return {saturatingSum(d, g), saturatingSum(end, g), saturatingSum(samples(timing.startTime, fs), d, g),
        saturatingSum(samples(timing.stopTime, fs), d, g)};
  }

  void fillPulsed(std::span<double> table, const Indices& indices, std::int32_t function, double magnitude) {
    std::fill(table.begin(), table.end(), 0.0);
    if(function == static_cast<std::int32_t>(Function::none)) {
      fill(table, indices.delay, indices.flattopEnd, magnitude);
      return;
    }
    const std::int64_t n = std::int64_t{indices.stop} - indices.start;
    for(std::int64_t i = 0; i < n; ++i) {
      auto& entry = table[static_cast<std::size_t>(indices.start + i)];
      if(function == static_cast<std::int32_t>(Function::sine)) {
        const double x = ((static_cast<double>(i) * 3.141592653589793) * 0.5) / static_cast<double>(n);
        entry = std::sin(x) * magnitude;
      }
      else if(function == static_cast<std::int32_t>(Function::linear)) {
        entry = (static_cast<double>(i) * magnitude) / static_cast<double>(n);
      }
    }
    fill(table, indices.stop, indices.flattopEnd, magnitude);
  }

} // namespace GainSchedule
