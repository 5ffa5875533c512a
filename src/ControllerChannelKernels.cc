// Portable and AVX2 amplitude of the controller DAQ channels. I and Q are floats, so their squares are exact
// in double and the sum rounds once; sqrt and the division are correctly rounded in both implementations,
// which therefore agree to the bit. The phase stays a scalar atan2f, computed only where the amplitude lies
// above the threshold.
#include "ControllerChannelKernels.h"

#include "Corvane/Exception.h"

#include <algorithm>
#include <cmath>
#include <string>

#if defined(__x86_64__) || defined(__i386__)
#  include <immintrin.h>
#  define CONTROLLER_CHANNEL_KERNELS_X86 1
#endif

namespace ControllerChannelKernels {

  namespace {

    void requireLength(std::size_t expected, std::size_t found, const char* what) {
      if(found != expected) {
        throw Corvane::logic_error("ControllerChannelKernels: " + std::string(what) + " has " +
            std::to_string(found) + " elements, expected " + std::to_string(expected));
      }
    }

    float amplitudeOf(float i, float q, double scale) {
      const auto di = static_cast<double>(i);
      const auto dq = static_cast<double>(q);
      return static_cast<float>(std::sqrt(di * di + dq * dq) / scale);
    }

    void amplitudesPortable(const float* i, const float* q, double scale, float* amplitude, std::size_t n) {
      for(std::size_t k = 0; k < n; ++k) amplitude[k] = amplitudeOf(i[k], q[k], scale);
    }

#ifdef CONTROLLER_CHANNEL_KERNELS_X86
    __attribute__((target("avx2"))) void amplitudesAvx2(
        const float* i, const float* q, double scale, float* amplitude, std::size_t n) {
      const __m256d scales = _mm256_set1_pd(scale);
      std::size_t k = 0;
      for(; k + 4 <= n; k += 4) {
        const __m256d di = _mm256_cvtps_pd(_mm_loadu_ps(i + k));
        const __m256d dq = _mm256_cvtps_pd(_mm_loadu_ps(q + k));
        const __m256d sum = _mm256_add_pd(_mm256_mul_pd(di, di), _mm256_mul_pd(dq, dq));
        _mm_storeu_ps(amplitude + k, _mm256_cvtpd_ps(_mm256_div_pd(_mm256_sqrt_pd(sum), scales)));
      }
      amplitudesPortable(i + k, q + k, scale, amplitude + k, n - k);
    }
#endif

  } // namespace

  double scale(double bitScaling, bool applyBitShift, std::uint32_t bitShift) {
    if(!applyBitShift) return bitScaling;
    // 2^bitShift is exact in double up to 1023; beyond, the quotient is 0 and so not usable anyway
    return bitScaling / std::ldexp(1.0, static_cast<int>(std::min<std::uint32_t>(bitShift, 2048)));
  }

  bool isUsableScale(double scale) { return std::isfinite(scale) && scale > 0.0; }

  void computeAmplitudePhase(std::span<const float> i, std::span<const float> q, double scale,
      double zeroPhaseThreshold, std::span<float> amplitude, std::span<float> phase) {
    computeAmplitudePhase(AdcChannelKernels::bestImplementation(), i, q, scale, zeroPhaseThreshold, amplitude, phase);
  }

  void computeAmplitudePhase(Implementation implementation, std::span<const float> i, std::span<const float> q,
      double scale, double zeroPhaseThreshold, std::span<float> amplitude, std::span<float> phase) {
    const std::size_t n = i.size();
    requireLength(n, q.size(), "Q");
    requireLength(n, amplitude.size(), "amplitude");
    requireLength(n, phase.size(), "phase");
    if(!AdcChannelKernels::isAvailable(implementation)) {
      throw Corvane::logic_error("ControllerChannelKernels: the requested implementation is not available here");
    }
#ifdef CONTROLLER_CHANNEL_KERNELS_X86
    if(implementation == Implementation::avx2) {
      amplitudesAvx2(i.data(), q.data(), scale, amplitude.data(), n);
    }
    else
#endif
    {
      amplitudesPortable(i.data(), q.data(), scale, amplitude.data(), n);
    }
    const auto threshold = static_cast<float>(zeroPhaseThreshold);
    for(std::size_t k = 0; k < n; ++k) {
      phase[k] = amplitude[k] > threshold ? std::atan2(q[k], i[k]) / pi * 180.F : 0.F;
    }
  }

  std::optional<Flattop> flattop(std::uint32_t begin, std::uint32_t end, std::size_t length) {
    if(length == 0) return std::nullopt;
    const std::size_t last = length - 1;
    Flattop range{std::min<std::size_t>(begin, last), std::min<std::size_t>(end, last), begin > last || end > last};
    if(range.end < range.begin) return std::nullopt;
    return range;
  }

  Statistics computeStatistics(std::span<const float> i, std::span<const float> q, std::span<const float> amplitude,
      std::span<const float> phase, const Flattop& flattop) {
    const std::size_t n = i.size();
    requireLength(n, q.size(), "Q");
    const bool withAmplitudePhase = !amplitude.empty() || !phase.empty();
    if(withAmplitudePhase) {
      requireLength(n, amplitude.size(), "amplitude");
      requireLength(n, phase.size(), "phase");
    }
    if(flattop.end < flattop.begin || flattop.end >= n) {
      throw Corvane::logic_error("ControllerChannelKernels: flat-top " + std::to_string(flattop.begin) + " to " +
          std::to_string(flattop.end) + " does not lie in a pulse of " + std::to_string(n) + " samples");
    }
    const std::size_t count = flattop.end + 1 - flattop.begin;
    const auto samples = static_cast<float>(count);

    // float sums in index order: each addition rounds, so the order is part of the result
    Statistics result;
    for(std::size_t k = flattop.begin; k <= flattop.end; ++k) {
      result.iAverage += i[k];
      result.qAverage += q[k];
    }
    result.iAverage /= samples;
    result.qAverage /= samples;
    if(!withAmplitudePhase) return result;

    const auto flattopAmplitude = amplitude.subspan(flattop.begin, count);
    const auto flattopPhase = phase.subspan(flattop.begin, count);
    for(std::size_t k = 0; k < count; ++k) {
      result.amplitudeAverage += flattopAmplitude[k];
      result.phaseAverage += flattopPhase[k];
    }
    result.amplitudeAverage /= samples;
    result.phaseAverage /= samples;
    const auto deviations = AdcChannelKernels::standardDeviations(AdcChannelKernels::bestImplementation(),
        flattopAmplitude, flattopPhase, result.amplitudeAverage, result.phaseAverage);
    result.amplitudeStandardDeviation = deviations.amplitude;
    result.phaseStandardDeviation = deviations.phase;
    return result;
  }

} // namespace ControllerChannelKernels
