// Per-pulse arithmetic of one ADC channel: the board's raw amplitude and phase counts become amplitude
// (length-scaled gradient units), phase (degrees) and power (power units) over the pulse, the peak powers
// before and after the flat-top start, and the statistics over the full pulse.
//
// Pure functions on spans, free of the framework; AdcChannel::ChannelComputations wraps them. The results
// are bit-identical on every code path: amplitude and power are formed in double and rounded to float once,
// the statistics accumulate in float in index order. The vectorised paths (AVX-512 with eight samples per
// step, AVX2 with four; the best one the processor has is chosen at run time) use the same IEEE operations
// as the portable one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace AdcChannelKernels {

  /// Degrees per raw phase count, 360 / 2^18. Both factors are exact in double, so multiplying by this
  /// constant gives the same double as multiplying by 360.0 and then by 3.814697265625e-6.
  inline constexpr double degreesPerPhaseCount = 360.0 * 3.814697265625e-6;

  /// The per-pulse settings of one channel, taken from its inputs at the start of a pass.
  struct SignalParameters {
    double bitScaling{1.0};         ///< "bitScalingLengthScaled": raw counts per length-scaled gradient unit
    double zeroPhaseThreshold{0.0}; ///< amplitudes at or below it get phase 0
    /// 1 / (powerScaling x extraPowerScaling); empty when the power is not to be computed this pass.
    std::optional<double> powerFactor;
    std::size_t flattopBeginIndex{0}; ///< first sample that counts as flat-top for the peak power
  };

  /// Largest power before and from the flat-top start; 0 when that part of the pulse is empty.
  struct PeakPowers {
    float filling{0.F};
    float flattop{0.F};
  };

  struct Statistics {
    float amplitudeAverage{0.F};
    float phaseAverage{0.F};
    float powerAverage{0.F};
    float amplitudeStandardDeviation{0.F};
    float phaseStandardDeviation{0.F};
  };

  /// avx2 stands for AVX2 with FMA (every AVX2 processor has both); avx512 for AVX512F besides those. Where
  /// there is no AVX-512 kernel, avx512 runs the AVX2 one.
  enum class Implementation { portable, avx2, avx512 };

  /// "portable", "avx2" or "avx512", for reports.
  const char* nameOf(Implementation implementation);

  /// The fastest implementation this processor runs.
  Implementation bestImplementation();
  bool isAvailable(Implementation implementation);

  /// Whether the implementation may run AVX2 and FMA code: true for avx512 as well, whose processors have both.
  constexpr bool hasAvx2Kernels(Implementation implementation) {
    return implementation == Implementation::avx2 || implementation == Implementation::avx512;
  }

  /// The power factor 1 / (powerScaling x extraPowerScaling), or nothing unless both are strictly positive
  /// (a NaN scaling gives nothing as well).
  std::optional<double> powerFactor(double powerScaling, double extraPowerScaling);

  /// What one pass yields besides the arrays.
  struct SignalResults {
    std::optional<PeakPowers> peaks;     ///< set when the power was computed
    std::optional<Statistics> statistics; ///< set when asked for
  };

  /// Fills amplitude and phase over the pulse and, when parameters.powerFactor is set, power (returning the
  /// peak powers; otherwise `power` keeps its content). With `withStatistics` it also returns the statistics
  /// of amplitude, phase and power as computeStatistics would, taken from `power` as it stands after the
  /// pass; the sums run in the same pass as the signals. All spans have the same length (a
  /// Corvane::logic_error otherwise); `power` may be empty when it is neither computed nor used.
  SignalResults computeSignals(std::span<const int32_t> rawAmplitude, std::span<const int32_t> rawPhase,
      const SignalParameters& parameters, std::span<float> amplitude, std::span<float> phase, std::span<float> power,
      bool withStatistics);

  /// As above with a chosen implementation (tests and benchmarks); a logic_error if it is not available.
  SignalResults computeSignals(Implementation implementation, std::span<const int32_t> rawAmplitude,
      std::span<const int32_t> rawPhase, const SignalParameters& parameters, std::span<float> amplitude,
      std::span<float> phase, std::span<float> power, bool withStatistics);

  /// Sample standard deviations of amplitude and phase about the given averages: the squared float differences,
  /// formed in double and rounded to float, summed in float in index order, then sqrt(sum / (n - 1)) with
  /// n - 1 in float. One sample gives NaN (0 / 0). Both spans have the same length. Shared with the controller
  /// DAQ channels, whose flat-top statistics use the same arithmetic.
  struct StandardDeviations {
    float amplitude{0.F};
    float phase{0.F};
  };
  StandardDeviations standardDeviations(Implementation implementation, std::span<const float> amplitude,
      std::span<const float> phase, float amplitudeAverage, float phaseAverage);

  /// Averages and standard deviations over the full pulse: float sums in index order divided by n; the
  /// deviations are sqrt(sum of squared float differences / (n - 1)) with n - 1 in float. One sample gives
  /// NaN deviations (0 / 0). All spans have the same length.
  Statistics computeStatistics(std::span<const float> amplitude, std::span<const float> phase,
      std::span<const float> power);

} // namespace AdcChannelKernels
