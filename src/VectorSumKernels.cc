#include "VectorSumKernels.h"

#include <Corvane/Exception.h>
#include <llrf/Phase.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>

namespace VectorSumKernels {

  namespace {

    // Phases at or beyond this magnitude leave the exact single-precision reduction (n * 90 must
    // stay exact and n an integer); a call with such a phase is computed in double instead.
    constexpr float largePhase = 8388608.F; // 2^23

    /// The slow path for calls with a huge phase: every sample reduced exactly in double.
    [[gnu::noinline]] void accumulateExactly(
        const float* amplitude, const float* phase, float* iSum, float* qSum, std::size_t n) {
      for(std::size_t k = 0; k < n; ++k) {
        auto exact = llrf::sinCosDegrees(phase[k]);
        iSum[k] += amplitude[k] * static_cast<float>(exact.cos);
        qSum[k] += amplitude[k] * static_cast<float>(exact.sin);
      }
    }

    // Vectors of W floats and of their bit patterns (GCC vector extensions; the size must not
    // depend on a template parameter, hence one specialisation per width). The arithmetic below
    // uses no vector comparison: GCC 12 turns 512-bit comparisons in code inlined into a
    // target-attributed function into scalar code, and bit operations serve as well here.
    template<int W>
    struct Lanes;
    template<>
    struct Lanes<4> {
      typedef float F __attribute__((vector_size(16)));
      typedef unsigned U __attribute__((vector_size(16)));
    };
    template<>
    struct Lanes<8> {
      typedef float F __attribute__((vector_size(32)));
      typedef unsigned U __attribute__((vector_size(32)));
    };
    template<>
    struct Lanes<16> {
      typedef float F __attribute__((vector_size(64)));
      typedef unsigned U __attribute__((vector_size(64)));
    };

    /// Adds W samples whose phases are all below 2^23 degrees in magnitude (or not finite).
    /// Vector types are local only (no vector argument or return value), so that the same body
    /// compiles for every target without ABI differences.
    template<int W>
    [[gnu::always_inline]] inline void accumulateLanes(
        const float* amplitude, const float* phase, float* iSum, float* qSum) {
      using F = typename Lanes<W>::F;
      using U = typename Lanes<W>::U;
      F a, p, i, q;
      std::memcpy(&a, amplitude, sizeof(F));
      std::memcpy(&p, phase, sizeof(F));
      std::memcpy(&i, iSum, sizeof(F));
      std::memcpy(&q, qSum, sizeof(F));

      // nearest multiple n of 90 degrees: adding 1.5 * 2^23 rounds to an integer, which then
      // stands in the low mantissa bits of the sum (2^22 + n, so its last two bits are n mod 4)
      const F round = F{} + 12582912.F;
      F shifted = p * (1.F / 90.F) + round;
      F n = shifted - round;
      // exact for |phase| < 2^23: n * 90 and the difference are representable
      F r = p - n * 90.F;
      F x = r * 0.017453292519943295F;
      F z = x * x;
      F s = ((-1.9515295891e-4F * z + 8.3321608736e-3F) * z - 1.6666654611e-1F) * z * x + x;
      F c = ((2.443315711809948e-5F * z - 1.388731625493765e-3F) * z + 4.166664568298827e-2F) * z * z - 0.5F * z +
          1.F;

      // quadrant n mod 4: odd ones swap sine and cosine, 2 and 3 negate the sine, 1 and 2 the cosine
      U quadrant = reinterpret_cast<U>(shifted);
      U swap = -(quadrant & 1U);
      U sinBits = (reinterpret_cast<U>(s) & ~swap) | (reinterpret_cast<U>(c) & swap);
      U cosBits = (reinterpret_cast<U>(c) & ~swap) | (reinterpret_cast<U>(s) & swap);
      sinBits ^= (quadrant & 2U) << 30;
      cosBits ^= ((quadrant + 1U) & 2U) << 30;

      i += a * reinterpret_cast<F>(cosBits);
      q += a * reinterpret_cast<F>(sinBits);
      std::memcpy(iSum, &i, sizeof(F));
      std::memcpy(qSum, &q, sizeof(F));
    }

    /// Whether any of n phases has a magnitude of 2^23 degrees or more (NaN does not count).
    /// A separate pass that costs little: it leaves the phases in the cache for the sum.
    template<int W>
    [[gnu::always_inline]] inline bool hasLargePhase(const float* phase, std::size_t n) {
      using F = typename Lanes<W>::F;
      using U = typename Lanes<W>::U;
      // on the magnitude's bit pattern m: 2^23 <= |phase| <= infinity sets the top bit of both
      // 0x4affffff - m (2^23 is 0x4b000000) and m - 0x7f800001 (infinity is 0x7f800000)
      U large{};
      std::size_t k = 0;
      for(; k + W <= n; k += W) {
        F p;
        std::memcpy(&p, phase + k, sizeof(F));
        U magnitude = reinterpret_cast<U>(p) & 0x7fffffffU;
        large |= (0x4affffffU - magnitude) & (magnitude - 0x7f800001U);
      }
      bool any = false;
      for(int lane = 0; lane < W; ++lane) any |= (large[lane] >> 31) != 0;
      for(; k < n; ++k) any |= phase[k] >= largePhase || phase[k] <= -largePhase;
      return any;
    }

    template<int W>
    [[gnu::always_inline]] inline void accumulateAll(
        const float* amplitude, const float* phase, float* iSum, float* qSum, std::size_t n) {
      if(hasLargePhase<W>(phase, n)) [[unlikely]] {
        accumulateExactly(amplitude, phase, iSum, qSum, n);
        return;
      }
      std::size_t k = 0;
      for(; k + W <= n; k += W) accumulateLanes<W>(amplitude + k, phase + k, iSum + k, qSum + k);
      if(k == n) return;
      // the tail goes through the same arithmetic on padded copies
      float a[W] = {}, p[W] = {}, i[W] = {}, q[W] = {};
      const std::size_t rest = n - k;
      std::memcpy(a, amplitude + k, rest * sizeof(float));
      std::memcpy(p, phase + k, rest * sizeof(float));
      std::memcpy(i, iSum + k, rest * sizeof(float));
      std::memcpy(q, qSum + k, rest * sizeof(float));
      accumulateLanes<W>(a, p, i, q);
      std::memcpy(iSum + k, i, rest * sizeof(float));
      std::memcpy(qSum + k, q, rest * sizeof(float));
    }

    void accumulatePortable(const float* amplitude, const float* phase, float* iSum, float* qSum, std::size_t n) {
      accumulateAll<4>(amplitude, phase, iSum, qSum, n);
    }

    [[gnu::target("avx2,fma")]] void accumulateAvx2(
        const float* amplitude, const float* phase, float* iSum, float* qSum, std::size_t n) {
      accumulateAll<8>(amplitude, phase, iSum, qSum, n);
    }

    [[gnu::target("avx512f,avx512dq,avx512vl,avx2,fma")]] void accumulateAvx512(
        const float* amplitude, const float* phase, float* iSum, float* qSum, std::size_t n) {
      accumulateAll<16>(amplitude, phase, iSum, qSum, n);
    }

    bool hasAvx2() {
      static const bool available = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
      return available;
    }

    // The processor's support also tells whether the operating system saves the 512-bit state.
    bool hasAvx512() {
      static const bool available = hasAvx2() && __builtin_cpu_supports("avx512f") &&
          __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl");
      return available;
    }

  } // namespace

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
    if(hasAvx512()) return Implementation::avx512;
    return hasAvx2() ? Implementation::avx2 : Implementation::portable;
  }

  bool isAvailable(Implementation implementation) {
    switch(implementation) {
      case Implementation::portable:
        return true;
      case Implementation::avx2:
        return hasAvx2();
      case Implementation::avx512:
        return hasAvx512();
    }
    return false;
  }

  void accumulate(std::span<const float> amplitude, std::span<const float> phase, std::span<float> i,
      std::span<float> q) {
    accumulate(bestImplementation(), amplitude, phase, i, q);
  }

  void accumulate(Implementation implementation, std::span<const float> amplitude, std::span<const float> phase,
      std::span<float> i, std::span<float> q) {
    const std::size_t n = amplitude.size();
    if(phase.size() != n || i.size() != n || q.size() != n) {
      throw Corvane::logic_error("VectorSumKernels::accumulate: spans of different lengths (amplitude " +
          std::to_string(n) + ", phase " + std::to_string(phase.size()) + ", I " + std::to_string(i.size()) +
          ", Q " + std::to_string(q.size()) + ")");
    }
    switch(implementation) {
      case Implementation::portable:
        accumulatePortable(amplitude.data(), phase.data(), i.data(), q.data(), n);
        return;
      case Implementation::avx2:
        if(!hasAvx2()) break;
        accumulateAvx2(amplitude.data(), phase.data(), i.data(), q.data(), n);
        return;
      case Implementation::avx512:
        if(!hasAvx512()) break;
        accumulateAvx512(amplitude.data(), phase.data(), i.data(), q.data(), n);
        return;
    }
    throw Corvane::logic_error(std::string("VectorSumKernels::accumulate: the ") +
        (implementation == Implementation::avx512 ? "AVX-512" : "AVX2") +
        " implementation is not available on this processor");
  }

} // namespace VectorSumKernels
