// Portable, AVX2 and AVX-512 implementations of the ADC channel's per-pulse arithmetic. All use the same
// IEEE operations in the same order per element (int32 to double exactly, one double division, double
// products, one rounding to float), so they agree bit for bit; the AVX2 one forms four samples per step, the
// AVX-512 one eight. Each vector loop leaves the last samples of a range to the portable per-sample code.
//
// On the Xeons at hand both vector paths are bound by the double division when they have a core to
// themselves (eight lanes divide in twice the time of four): about 14 us for 16384 samples either way. The
// AVX-512 path issues half the instructions, which keeps it 10 to 20 % ahead on a loaded machine (bench_adc).
// With the statistics, the chain of float sums bounds both paths alike (a few % apart).
//
// The float sums of the statistics are a chain of dependent additions in index order and cannot be
// vectorised without changing their rounding; they run in the signal pass, where the processor overlaps
// them with the vector work, and only the sums of squared deviations need a second pass. That pass is bound
// by its additions too: the avx512 implementation runs the AVX2 one, as sixteen squares per step were slower.
#include "AdcChannelKernels.h"

#include "Corvane/Exception.h"

#include <algorithm>
#include <cmath>
#include <string>

#if defined(__x86_64__) || defined(__i386__)
#  include <immintrin.h>
#  define ADC_CHANNEL_KERNELS_X86 1
#endif

namespace AdcChannelKernels {

  namespace {

    struct Sums {
      float amplitude{0.F};
      float phase{0.F};
      float power{0.F};
    };

    /// The arrays of one pass and the per-pass constants.
    struct Pass {
      const int32_t* rawAmplitude;
      const int32_t* rawPhase;
      float* amplitude;
      float* phase;
      float* power;
      double bitScaling;
      double zeroPhaseThreshold;
      double powerFactor;
    };

    /// One sample of all outputs; the tails of the vectorised loops use it too.
    template<bool withPower, bool withSums>
    void computeSample(const Pass& pass, std::size_t i, float& peak, Sums& sums) {
      const double scaled = static_cast<double>(pass.rawAmplitude[i]) / pass.bitScaling;
      pass.amplitude[i] = static_cast<float>(scaled);
      pass.phase[i] = scaled > pass.zeroPhaseThreshold
          ? static_cast<float>(static_cast<double>(pass.rawPhase[i]) * degreesPerPhaseCount)
          : 0.F;
      if constexpr(withPower) {
        const auto raw = static_cast<double>(pass.rawAmplitude[i]);
        const auto value = static_cast<float>(raw * raw * pass.powerFactor);
        pass.power[i] = value;
        if(value > peak) peak = value;
      }
      if constexpr(withSums) {
        sums.amplitude += pass.amplitude[i];
        sums.phase += pass.phase[i];
        sums.power += pass.power[i];
      }
    }

    /// Samples [begin, end); returns the largest power there (0 if none is larger).
    template<bool withPower, bool withSums>
    float computeRangePortable(const Pass& pass, std::size_t begin, std::size_t end, Sums& sums) {
      float peak = 0.F;
      for(std::size_t i = begin; i < end; ++i) computeSample<withPower, withSums>(pass, i, peak, sums);
      return peak;
    }

#ifdef ADC_CHANNEL_KERNELS_X86
    /// Adds samples [begin, end) to the sums in index order (each addition rounds, so the order is part of
    /// the result).
    inline void addInIndexOrder(Sums& sums, const float* amplitude, const float* phase, const float* power,
        std::size_t begin, std::size_t end) {
      for(std::size_t k = begin; k < end; ++k) {
        sums.amplitude += amplitude[k];
        sums.phase += phase[k];
        sums.power += power[k];
      }
    }

    /// The largest of the vector lanes' peaks, 0 if none is larger (a NaN lane never wins).
    template<std::size_t lanes>
    float largestAboveZero(const float (&values)[lanes]) {
      float peak = 0.F;
      for(float value : values) {
        if(value > peak) peak = value;
      }
      return peak;
    }

    // maxps(v, m) is "v > m ? v : m", so NaN never wins: the same rule as the portable peak search. The sums
    // read back the four floats just stored, in index order.
    template<bool withPower, bool withSums>
    __attribute__((target("avx2"))) float computeRangeAvx2(
        const Pass& pass, std::size_t begin, std::size_t end, Sums& sums) {
      const __m256d bitScaling = _mm256_set1_pd(pass.bitScaling);
      const __m256d threshold = _mm256_set1_pd(pass.zeroPhaseThreshold);
      const __m256d degrees = _mm256_set1_pd(degreesPerPhaseCount);
      const __m256d powerFactor = _mm256_set1_pd(pass.powerFactor);
      // The vector stores may alias anything, the pass included: its pointers are read once, not at every step.
      const int32_t* const rawAmplitude = pass.rawAmplitude;
      const int32_t* const rawPhase = pass.rawPhase;
      float* const amplitude = pass.amplitude;
      float* const phase = pass.phase;
      float* const power = pass.power;
      __m128 peaks = _mm_setzero_ps();
      Sums local = sums;
      std::size_t i = begin;
      for(; i + 4 <= end; i += 4) {
        const __m256d raw =
            _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rawAmplitude + i)));
        const __m256d scaled = _mm256_div_pd(raw, bitScaling);
        _mm_storeu_ps(amplitude + i, _mm256_cvtpd_ps(scaled));
        const __m256d phaseCounts =
            _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rawPhase + i)));
        const __m256d above = _mm256_cmp_pd(scaled, threshold, _CMP_GT_OQ);
        _mm_storeu_ps(phase + i, _mm256_cvtpd_ps(_mm256_and_pd(_mm256_mul_pd(phaseCounts, degrees), above)));
        if constexpr(withPower) {
          const __m128 powers = _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_mul_pd(raw, raw), powerFactor));
          _mm_storeu_ps(power + i, powers);
          peaks = _mm_max_ps(powers, peaks);
        }
        if constexpr(withSums) addInIndexOrder(local, amplitude, phase, power, i, i + 4);
      }
      float peak = 0.F;
      if constexpr(withPower) {
        alignas(16) float lanes[4];
        _mm_store_ps(lanes, peaks);
        peak = largestAboveZero(lanes);
      }
      for(; i < end; ++i) computeSample<withPower, withSums>(pass, i, peak, local);
      sums = local;
      return peak;
    }

    // GCC 12's AVX-512 conversion intrinsics start from a self-initialised "undefined" vector, which
    // -Wmaybe-uninitialized reports wherever they are inlined; nothing here is read uninitialised.
#  pragma GCC diagnostic push
#  pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
    // As the AVX2 version with eight samples per step. The phase below the threshold is the masked product's
    // +0, as the AVX2 "and" with the comparison gives it.
    template<bool withPower, bool withSums>
    __attribute__((target("avx512f,avx2,fma"))) float computeRangeAvx512(
        const Pass& pass, std::size_t begin, std::size_t end, Sums& sums) {
      const __m512d bitScaling = _mm512_set1_pd(pass.bitScaling);
      const __m512d threshold = _mm512_set1_pd(pass.zeroPhaseThreshold);
      const __m512d degrees = _mm512_set1_pd(degreesPerPhaseCount);
      const __m512d powerFactor = _mm512_set1_pd(pass.powerFactor);
      // The vector stores may alias anything, the pass included: its pointers are read once, not at every step.
      const int32_t* const rawAmplitude = pass.rawAmplitude;
      const int32_t* const rawPhase = pass.rawPhase;
      float* const amplitude = pass.amplitude;
      float* const phase = pass.phase;
      float* const power = pass.power;
      __m256 peaks = _mm256_setzero_ps();
      Sums local = sums;
      std::size_t i = begin;
      for(; i + 8 <= end; i += 8) {
        const __m512d raw =
            _mm512_cvtepi32_pd(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(rawAmplitude + i)));
        const __m512d scaled = _mm512_div_pd(raw, bitScaling);
        _mm256_storeu_ps(amplitude + i, _mm512_cvtpd_ps(scaled));
        const __m512d phaseCounts =
            _mm512_cvtepi32_pd(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(rawPhase + i)));
        const __mmask8 above = _mm512_cmp_pd_mask(scaled, threshold, _CMP_GT_OQ);
        _mm256_storeu_ps(phase + i, _mm512_cvtpd_ps(_mm512_maskz_mul_pd(above, phaseCounts, degrees)));
        if constexpr(withPower) {
          const __m256 powers = _mm512_cvtpd_ps(_mm512_mul_pd(_mm512_mul_pd(raw, raw), powerFactor));
          _mm256_storeu_ps(power + i, powers);
          peaks = _mm256_max_ps(powers, peaks);
        }
        if constexpr(withSums) addInIndexOrder(local, amplitude, phase, power, i, i + 8);
      }
      float peak = 0.F;
      if constexpr(withPower) {
        alignas(32) float lanes[8];
        _mm256_store_ps(lanes, peaks);
        peak = largestAboveZero(lanes);
      }
      for(; i < end; ++i) computeSample<withPower, withSums>(pass, i, peak, local);
      sums = local;
      return peak;
    }
#  pragma GCC diagnostic pop
#endif

    template<bool withPower, bool withSums>
    float computeRange(Implementation implementation, const Pass& pass, std::size_t begin, std::size_t end, Sums& sums) {
#ifdef ADC_CHANNEL_KERNELS_X86
      if(implementation == Implementation::avx512) {
        return computeRangeAvx512<withPower, withSums>(pass, begin, end, sums);
      }
      if(implementation == Implementation::avx2) return computeRangeAvx2<withPower, withSums>(pass, begin, end, sums);
#endif
      (void)implementation;
      return computeRangePortable<withPower, withSums>(pass, begin, end, sums);
    }

    template<bool withSums>
    std::optional<PeakPowers> computeAll(
        Implementation implementation, const Pass& pass, std::size_t n, std::size_t flattopBegin, bool withPower,
        Sums& sums) {
      if(!withPower) {
        computeRange<false, withSums>(implementation, pass, 0, n, sums);
        return std::nullopt;
      }
      // Samples before the flat-top start count as filling; an index at or past the end leaves no flat-top.
      const std::size_t split = std::min(flattopBegin, n);
      PeakPowers peaks;
      peaks.filling = computeRange<true, withSums>(implementation, pass, 0, split, sums);
      peaks.flattop = computeRange<true, withSums>(implementation, pass, split, n, sums);
      return peaks;
    }

    /// Sums of squared deviations in index order; the squares are formed in double and rounded to float.
    void addSquaresPortable(std::span<const float> amplitude, std::span<const float> phase, float amplitudeAverage,
        float phaseAverage, float& amplitudeSquares, float& phaseSquares) {
      for(std::size_t i = 0; i < amplitude.size(); ++i) {
        const float amplitudeDifference = amplitude[i] - amplitudeAverage;
        const float phaseDifference = phase[i] - phaseAverage;
        amplitudeSquares += static_cast<float>(
            static_cast<double>(amplitudeDifference) * static_cast<double>(amplitudeDifference));
        phaseSquares +=
            static_cast<float>(static_cast<double>(phaseDifference) * static_cast<double>(phaseDifference));
      }
    }

#ifdef ADC_CHANNEL_KERNELS_X86
    // The product of two floats is exact in double, so rounding it to float gives the float product: the
    // squares can be formed eight at a time in float. Only the additions stay sequential.
    __attribute__((target("avx2"))) void addSquaresAvx2(std::span<const float> amplitude,
        std::span<const float> phase, float amplitudeAverage, float phaseAverage, float& amplitudeSquares,
        float& phaseSquares) {
      const __m256 amplitudeAverages = _mm256_set1_ps(amplitudeAverage);
      const __m256 phaseAverages = _mm256_set1_ps(phaseAverage);
      alignas(32) float amplitudeTerms[8];
      alignas(32) float phaseTerms[8];
      float amplitudeSum = amplitudeSquares;
      float phaseSum = phaseSquares;
      std::size_t i = 0;
      for(; i + 8 <= amplitude.size(); i += 8) {
        const __m256 amplitudeDifference = _mm256_sub_ps(_mm256_loadu_ps(amplitude.data() + i), amplitudeAverages);
        const __m256 phaseDifference = _mm256_sub_ps(_mm256_loadu_ps(phase.data() + i), phaseAverages);
        _mm256_store_ps(amplitudeTerms, _mm256_mul_ps(amplitudeDifference, amplitudeDifference));
        _mm256_store_ps(phaseTerms, _mm256_mul_ps(phaseDifference, phaseDifference));
        for(std::size_t k = 0; k < 8; ++k) {
          amplitudeSum += amplitudeTerms[k];
          phaseSum += phaseTerms[k];
        }
      }
      amplitudeSquares = amplitudeSum;
      phaseSquares = phaseSum;
      addSquaresPortable(
          amplitude.subspan(i), phase.subspan(i), amplitudeAverage, phaseAverage, amplitudeSquares, phaseSquares);
    }
#endif

    /// Averages from the sums, then the deviations in a second pass.
    Statistics finishStatistics(Implementation implementation, const Sums& sums, std::span<const float> amplitude,
        std::span<const float> phase) {
      const auto n = static_cast<float>(amplitude.size());
      Statistics result;
      result.amplitudeAverage = sums.amplitude / n;
      result.phaseAverage = sums.phase / n;
      result.powerAverage = sums.power / n;
      const auto deviations = standardDeviations(implementation, amplitude, phase, result.amplitudeAverage,
          result.phaseAverage);
      result.amplitudeStandardDeviation = deviations.amplitude;
      result.phaseStandardDeviation = deviations.phase;
      return result;
    }

    void requireLength(std::size_t expected, std::size_t found, const char* what) {
      if(found != expected) {
        throw Corvane::logic_error("AdcChannelKernels: " + std::string(what) + " has " + std::to_string(found) +
            " elements, expected " + std::to_string(expected));
      }
    }

  } // namespace

  StandardDeviations standardDeviations(Implementation implementation, std::span<const float> amplitude,
      std::span<const float> phase, float amplitudeAverage, float phaseAverage) {
    requireLength(amplitude.size(), phase.size(), "phase");
    float amplitudeSquares = 0.F;
    float phaseSquares = 0.F;
#ifdef ADC_CHANNEL_KERNELS_X86
    if(hasAvx2Kernels(implementation)) {
      addSquaresAvx2(amplitude, phase, amplitudeAverage, phaseAverage, amplitudeSquares, phaseSquares);
    }
    else
#endif
    {
      (void)implementation;
      addSquaresPortable(amplitude, phase, amplitudeAverage, phaseAverage, amplitudeSquares, phaseSquares);
    }
    const float degreesOfFreedom = static_cast<float>(amplitude.size()) - 1.F;
    return {std::sqrt(amplitudeSquares / degreesOfFreedom), std::sqrt(phaseSquares / degreesOfFreedom)};
  }

  bool isAvailable(Implementation implementation) {
#ifdef ADC_CHANNEL_KERNELS_X86
    // the controller channels' phase also needs the fused multiply-add that comes with every AVX2 processor
    static const bool avx2 = __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("fma") != 0;
    // the processor's support also tells whether the operating system saves the 512-bit state
    static const bool avx512 = avx2 && __builtin_cpu_supports("avx512f") != 0;
#else
    constexpr bool avx2 = false;
    constexpr bool avx512 = false;
#endif
    switch(implementation) {
      case Implementation::portable:
        return true;
      case Implementation::avx2:
        return avx2;
      case Implementation::avx512:
        return avx512;
    }
    return false;
  }

  const char* nameOf(Implementation implementation) {
    switch(implementation) {
      case Implementation::avx512:
        return "avx512";
      case Implementation::avx2:
        return "avx2";
      case Implementation::portable:
        break;
    }
    return "portable";
  }

  Implementation bestImplementation() {
    static const Implementation best = [] {
      if(isAvailable(Implementation::avx512)) return Implementation::avx512;
      return isAvailable(Implementation::avx2) ? Implementation::avx2 : Implementation::portable;
    }();
    return best;
  }

  std::optional<double> powerFactor(double powerScaling, double extraPowerScaling) {
    if(!(powerScaling > 0.0) || !(extraPowerScaling > 0.0)) return std::nullopt;
    return 1.0 / (powerScaling * extraPowerScaling);
  }

  SignalResults computeSignals(std::span<const int32_t> rawAmplitude, std::span<const int32_t> rawPhase,
      const SignalParameters& parameters, std::span<float> amplitude, std::span<float> phase, std::span<float> power,
      bool withStatistics) {
    return computeSignals(
        bestImplementation(), rawAmplitude, rawPhase, parameters, amplitude, phase, power, withStatistics);
  }

  SignalResults computeSignals(Implementation implementation, std::span<const int32_t> rawAmplitude,
      std::span<const int32_t> rawPhase, const SignalParameters& parameters, std::span<float> amplitude,
      std::span<float> phase, std::span<float> power, bool withStatistics) {
    const std::size_t n = rawAmplitude.size();
    requireLength(n, rawPhase.size(), "raw phase");
    requireLength(n, amplitude.size(), "amplitude");
    requireLength(n, phase.size(), "phase");
    const bool withPower = parameters.powerFactor.has_value();
    if(withPower || withStatistics) requireLength(n, power.size(), "power");
    if(!isAvailable(implementation)) {
      throw Corvane::logic_error("AdcChannelKernels: the requested implementation is not available here");
    }

    const Pass pass{rawAmplitude.data(), rawPhase.data(), amplitude.data(), phase.data(), power.data(),
        parameters.bitScaling, parameters.zeroPhaseThreshold, parameters.powerFactor.value_or(0.0)};
    Sums sums;
    SignalResults results;
    if(!withStatistics) {
      results.peaks = computeAll<false>(implementation, pass, n, parameters.flattopBeginIndex, withPower, sums);
      return results;
    }
    results.peaks = computeAll<true>(implementation, pass, n, parameters.flattopBeginIndex, withPower, sums);
    results.statistics = finishStatistics(implementation, sums, amplitude, phase);
    return results;
  }

  Statistics computeStatistics(
      std::span<const float> amplitude, std::span<const float> phase, std::span<const float> power) {
    const std::size_t length = amplitude.size();
    requireLength(length, phase.size(), "phase");
    requireLength(length, power.size(), "power");
    // Float sums in index order: each step rounds, so the order is part of the result.
    Sums sums;
    for(std::size_t i = 0; i < length; ++i) {
      sums.amplitude += amplitude[i];
      sums.phase += phase[i];
      sums.power += power[i];
    }
    return finishStatistics(Implementation::portable, sums, amplitude, phase);
  }

} // namespace AdcChannelKernels
