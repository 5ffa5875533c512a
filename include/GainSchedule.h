// The gain table's arithmetic: the sample indices of the pulse and of the gain-scheduling ramp from the pulse
// timing, and the table of one pulse from them. Plain functions without state, safe from any thread.
//
// Times are in microseconds and the sampling frequency fs in MHz, so time x fs is a number of samples,
// truncated toward zero and saturating at the 32-bit limits; a product that is not a number gives the lowest
// index, so that every rule asking for an index >= 0 fails. Each product is truncated on its own; the sums are
// formed in 64 bits and saturate into 32 bits.
#pragma once

#include <cstdint>
#include <span>

namespace GainSchedule {

  /// The inputs of the indices (us and MHz).
  struct Timing {
    double samplingFrequency;
    double pulseDelay;
    double fillingDuration;
    double flattopDuration;
    double gainDelay;
    double startTime;
    double stopTime;
  };

  /// First sample of the pulse, first sample after the flat-top (both shifted by the gain delay), and start and
  /// stop of the ramp (counted from the pulse start).
  struct Indices {
    std::int32_t delay;
    std::int32_t flattopEnd;
    std::int32_t start;
    std::int32_t stop;
  };

  /// Ramp shapes of "functionSelect".
  enum class Function : std::int32_t { none = 0, sine = 1, linear = 2 };

  /// `time` x `samplingFrequency` truncated toward zero, saturating; INT32_MIN when the product is not a number.
  std::int32_t samples(double time, double samplingFrequency);

  Indices indices(const Timing& timing);

  /// Fills `table` for pulsed operation: 0 outside [delay, flattopEnd); `magnitude` inside it, or with a ramp
  /// (function not none) 0 up to start, the ramp from start to stop and `magnitude` from stop on. The indices
  /// must lie in the table (the caller's checks see to it); a ramp of another function value draws nothing.
  void fillPulsed(std::span<double> table, const Indices& indices, std::int32_t function, double magnitude);

} // namespace GainSchedule
