// Per-pulse arithmetic of one controller DAQ channel: the firmware's raw I and Q traces become an
// amplitude trace (gradient units) and a phase trace (degrees), and the flat-top gives averages and
// standard deviations.
//
// Pure functions on spans, free of the framework; ControllerChannel::Computations wraps them. The standard
// deviations are those of the ADC channels (AdcChannelKernels::standardDeviations, vectorised where the
// processor allows), so both kinds of channel grade their signals with the same arithmetic.
#pragma once

#include "AdcChannelKernels.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace ControllerChannelKernels {

  /// The float nearest to pi, the constant of the phase conversion.
  inline constexpr float pi = 3.14159274F;

  /// Raw counts per gradient unit: the bit scaling, divided by 2 to the power of the firmware's vector-sum bit
  /// shift when the shift applies to the channel. ldexp gives the same powers as shifting a 32-bit 1 for
  /// shifts of 0 to 31 and stays exact for any larger shift, where the 32-bit shift would be undefined.
  double scale(double bitScaling, bool applyBitShift, std::uint32_t bitShift);

  /// Only a finite, strictly positive scale gives amplitudes that mean something.
  bool isUsableScale(double scale);

  /// For every sample: amplitude = sqrt(I² + Q²) / scale, in double, stored as float; phase =
  /// atan2f(Q, I) / pi x 180 in float where the stored amplitude lies strictly above the threshold (as
  /// float), else 0. All spans have the same length (a Corvane::logic_error otherwise).
  void computeAmplitudePhase(std::span<const float> i, std::span<const float> q, double scale,
      double zeroPhaseThreshold, std::span<float> amplitude, std::span<float> phase);

  /// As above with a chosen implementation (tests and benchmarks); a logic_error if it is not available here.
  /// The AVX2 one (avx512 runs it too) forms four amplitudes per step with the same IEEE operations, so both
  /// agree to the bit in the amplitude and so in where the phase is 0. Its phase is a vectorised polynomial
  /// atan2, eight per step, within 2e-5 degrees of the exact value for finite I and Q (closer than atan2f in
  /// float, whose conversion to degrees alone can add 2e-5), and the same as the portable one for zeros of
  /// either sign, infinities and NaN.
  using Implementation = AdcChannelKernels::Implementation;
  void computeAmplitudePhase(Implementation implementation, std::span<const float> i, std::span<const float> q,
      double scale, double zeroPhaseThreshold, std::span<float> amplitude, std::span<float> phase);

  /// The flat-top's first and last sample, inclusive, inside a pulse.
  struct Flattop {
    std::size_t begin{0};
    std::size_t end{0};
    bool clamped{false}; ///< an index lay beyond the pulse and was moved to its last sample
  };

  /// The configured flat-top kept inside a pulse of `length` samples: each index clamped into [0, length - 1].
  /// Empty when the end lies before the begin (after clamping) or the pulse has no samples: there is then no
  /// flat-top to take statistics over.
  std::optional<Flattop> flattop(std::uint32_t begin, std::uint32_t end, std::size_t length);

  struct Statistics {
    float iAverage{0.F};
    float qAverage{0.F};
    float amplitudeAverage{0.F};
    float phaseAverage{0.F};
    float amplitudeStandardDeviation{0.F};
    float phaseStandardDeviation{0.F};
  };

  /// Averages over the flat-top (float sums in index order divided by the sample count in float) of I and Q
  /// and, when amplitude and phase are given (non-empty), of them with their sample standard deviations. The
  /// phase average is the plain mean in degrees, not unwrapped near +-180. One sample gives NaN deviations.
  /// Spans given have the pulse's length and the flat-top lies inside it (a Corvane::logic_error otherwise).
  Statistics computeStatistics(std::span<const float> i, std::span<const float> q, std::span<const float> amplitude,
      std::span<const float> phase, const Flattop& flattop);

} // namespace ControllerChannelKernels
