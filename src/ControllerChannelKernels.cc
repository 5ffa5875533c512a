// Portable and AVX2 amplitude and phase of the controller DAQ channels; the avx512 implementation runs the
// AVX2 code, which needs nothing wider.
//
// Amplitude: I and Q are floats, so their squares are exact in double and the sum rounds once; sqrt and the
// division are correctly rounded in both implementations, which therefore agree to the bit.
//
// Phase: the portable path calls atan2f for each sample above the threshold. The AVX2 path forms eight
// phases per step in float: t = min(|I|, |Q|) / max(|I|, |Q|) lies in [0, 1], a polynomial in t² gives
// atan(t) directly in degrees, and the octant follows from which magnitude is larger and the sign bits of I
// and Q, added with one fused multiply-add (offset ± t x polynomial) so that the result rounds once more
// only. It stays within 2e-5 degrees of the exact phase for finite inputs. Zeros of either sign and
// infinities give the very values of atan2f: a ratio of 0/0 counts as 0, and both magnitudes infinite take
// the portable result of that diagonal. A NaN input makes the amplitude NaN, so the threshold rule gives
// phase 0 on both paths.
#include "ControllerChannelKernels.h"

#include "Corvane/Exception.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
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

    float portablePhase(float q, float i) { return std::atan2(q, i) / pi * 180.F; }

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

    /// atan(t) in degrees = t x P(t²) for t in [0, 1], P a near-minimax fit with float coefficients
    /// (constant term first); its error stays below 4e-7 degrees, far under the float rounding.
    constexpr std::array<float, 11> atanDegreesCoefficients{57.295780181884766F, -19.098587036132812F,
        11.458902359008789F, -8.181021690368652F, 6.331625461578369F, -5.033459186553955F, 3.8303842544555664F,
        -2.5169124603271484F, 1.2555192708969116F, -0.4028276801109314F, 0.060596443712711334F};

    /// Phases that the polynomial would only approximate: both magnitudes infinite, in the right and the
    /// left half-plane, as the portable path gives them (before the sign of Q).
    struct InfiniteDiagonals {
      float right;
      float left;
    };

    const InfiniteDiagonals& infiniteDiagonals() {
      static const InfiniteDiagonals diagonals{[] {
        constexpr float infinity = std::numeric_limits<float>::infinity();
        return InfiniteDiagonals{portablePhase(infinity, infinity), portablePhase(infinity, -infinity)};
      }()};
      return diagonals;
    }

    /// Eight phases in degrees from I and Q; see the top of the file.
    __attribute__((target("avx2,fma"))) __m256 phasesAvx2(__m256 i, __m256 q, const InfiniteDiagonals& diagonals) {
      const __m256 signBit = _mm256_set1_ps(-0.F);
      const __m256 zero = _mm256_setzero_ps();
      const __m256 infinity = _mm256_set1_ps(std::numeric_limits<float>::infinity());
      const __m256 absI = _mm256_andnot_ps(signBit, i);
      const __m256 absQ = _mm256_andnot_ps(signBit, q);
      const __m256 larger = _mm256_max_ps(absI, absQ);
      const __m256 smaller = _mm256_min_ps(absI, absQ);
      // 0/0 is NaN and would spoil the signed zeros; such a lane counts as ratio 0
      const __m256 bothZero = _mm256_cmp_ps(larger, zero, _CMP_EQ_OQ);
      const __m256 t = _mm256_andnot_ps(bothZero, _mm256_div_ps(smaller, larger));
      const __m256 s = _mm256_mul_ps(t, t);
      __m256 polynomial = _mm256_set1_ps(atanDegreesCoefficients.back());
      for(std::size_t k = atanDegreesCoefficients.size() - 1; k-- > 0;) {
        polynomial = _mm256_fmadd_ps(polynomial, s, _mm256_set1_ps(atanDegreesCoefficients[k]));
      }
      // Octant: |Q| > |I| gives 90 - atan, I negative (its sign bit, so that -0 counts) gives 180 - that; both
      // together 90 + atan. So the offset is 0, 90 or 180 and atan enters negated when exactly one holds.
      const __m256 qLarger = _mm256_cmp_ps(absQ, absI, _CMP_GT_OQ);
      const __m256 iNegative = _mm256_castsi256_ps(_mm256_srai_epi32(_mm256_castps_si256(i), 31));
      const __m256 offset =
          _mm256_blendv_ps(_mm256_and_ps(iNegative, _mm256_set1_ps(180.F)), _mm256_set1_ps(90.F), qLarger);
      const __m256 signedT = _mm256_xor_ps(t, _mm256_and_ps(signBit, _mm256_xor_ps(qLarger, iNegative)));
      __m256 phase = _mm256_fmadd_ps(signedT, polynomial, offset);
      const __m256 bothInfinite = _mm256_cmp_ps(smaller, infinity, _CMP_EQ_OQ);
      const __m256 diagonal =
          _mm256_blendv_ps(_mm256_set1_ps(diagonals.right), _mm256_set1_ps(diagonals.left), iNegative);
      phase = _mm256_blendv_ps(phase, diagonal, bothInfinite);
      // the lower half-plane, by the sign bit of Q: atan2 is odd in Q, signed zeros included
      return _mm256_xor_ps(phase, _mm256_and_ps(signBit, q));
    }

    /// Eight samples: their phases where the amplitude lies above the threshold, 0 elsewhere.
    __attribute__((target("avx2,fma"))) void phaseBlockAvx2(const float* i, const float* q, const float* amplitude,
        __m256 thresholds, const InfiniteDiagonals& diagonals, float* phase) {
      const __m256 above = _mm256_cmp_ps(_mm256_loadu_ps(amplitude), thresholds, _CMP_GT_OQ);
      if(_mm256_movemask_ps(above) == 0) {
        _mm256_storeu_ps(phase, _mm256_setzero_ps());
        return;
      }
      _mm256_storeu_ps(phase, _mm256_and_ps(above, phasesAvx2(_mm256_loadu_ps(i), _mm256_loadu_ps(q), diagonals)));
    }

    /// All samples; the last ones of a length that is no multiple of 8 go through the same arithmetic in a
    /// padded block.
    __attribute__((target("avx2,fma"))) void phasesAboveThresholdAvx2(
        const float* i, const float* q, const float* amplitude, float threshold, float* phase, std::size_t n) {
      const InfiniteDiagonals& diagonals = infiniteDiagonals();
      const __m256 thresholds = _mm256_set1_ps(threshold);
      std::size_t k = 0;
      for(; k + 8 <= n; k += 8) phaseBlockAvx2(i + k, q + k, amplitude + k, thresholds, diagonals, phase + k);
      if(k == n) return;
      const auto rest = static_cast<std::ptrdiff_t>(n - k);
      std::array<float, 8> tailI{}, tailQ{}, tailAmplitude{}, tailPhase{};
      std::copy(i + k, i + n, tailI.begin());
      std::copy(q + k, q + n, tailQ.begin());
      std::copy(amplitude + k, amplitude + n, tailAmplitude.begin());
      phaseBlockAvx2(tailI.data(), tailQ.data(), tailAmplitude.data(), thresholds, diagonals, tailPhase.data());
      std::copy(tailPhase.begin(), tailPhase.begin() + rest, phase + k);
    }
#endif

    void phasesAboveThresholdPortable(
        const float* i, const float* q, const float* amplitude, float threshold, float* phase, std::size_t n) {
      for(std::size_t k = 0; k < n; ++k) phase[k] = amplitude[k] > threshold ? portablePhase(q[k], i[k]) : 0.F;
    }

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
    const auto threshold = static_cast<float>(zeroPhaseThreshold);
#ifdef CONTROLLER_CHANNEL_KERNELS_X86
    if(AdcChannelKernels::hasAvx2Kernels(implementation)) {
      amplitudesAvx2(i.data(), q.data(), scale, amplitude.data(), n);
      phasesAboveThresholdAvx2(i.data(), q.data(), amplitude.data(), threshold, phase.data(), n);
      return;
    }
#endif
    amplitudesPortable(i.data(), q.data(), scale, amplitude.data(), n);
    phasesAboveThresholdPortable(i.data(), q.data(), amplitude.data(), threshold, phase.data(), n);
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
