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

    // Vectors of W floats and the masks that comparing them gives (GCC vector extensions; the
    // size must not depend on a template parameter, hence one specialisation per width).
    template<int W>
    struct Lanes;
    template<>
    struct Lanes<4> {
      typedef float F __attribute__((vector_size(16)));
      typedef int M __attribute__((vector_size(16)));
    };
    template<>
    struct Lanes<8> {
      typedef float F __attribute__((vector_size(32)));
      typedef int M __attribute__((vector_size(32)));
    };

    /// Adds W samples whose phases are all below 2^23 degrees in magnitude (or not finite).
    /// Vector types are local only (no vector argument or return value), so that the same body
    /// compiles for every target without ABI differences.
    template<int W>
    [[gnu::always_inline]] inline void accumulateLanes(
        const float* amplitude, const float* phase, float* iSum, float* qSum) {
      using F = typename Lanes<W>::F;
      using M = typename Lanes<W>::M;
      F a, p, i, q;
      std::memcpy(&a, amplitude, sizeof(F));
      std::memcpy(&p, phase, sizeof(F));
      std::memcpy(&i, iSum, sizeof(F));
      std::memcpy(&q, qSum, sizeof(F));

      // nearest multiple of 90 degrees (adding and removing 1.5 * 2^23 rounds to an integer)
      const F round = F{} + 12582912.F;
      F n = (p * (1.F / 90.F) + round) - round;
      // exact for |phase| < 2^23: n * 90 and the difference are representable
      F r = p - n * 90.F;
      F x = r * 0.017453292519943295F;
      F z = x * x;
      F s = ((-1.9515295891e-4F * z + 8.3321608736e-3F) * z - 1.6666654611e-1F) * z * x + x;
      F c = ((2.443315711809948e-5F * z - 1.388731625493765e-3F) * z + 4.166664568298827e-2F) * z * z - 0.5F * z +
          1.F;

      // quadrant m = n mod 4 in {-2, -1, 0, 1, 2}
      F m = n - 4.F * ((n * 0.25F + round) - round);
      M odd = (m == 1.F) | (m == -1.F);
      M half = (m == 2.F) | (m == -2.F);
      F sinValue = odd ? c : s;
      F cosValue = odd ? s : c;
      sinValue = (half | (m == -1.F)) ? -sinValue : sinValue;
      cosValue = (half | (m == 1.F)) ? -cosValue : cosValue;

      i += a * cosValue;
      q += a * sinValue;
      std::memcpy(iSum, &i, sizeof(F));
      std::memcpy(qSum, &q, sizeof(F));
    }

    /// Whether any of n phases has a magnitude of 2^23 degrees or more (NaN does not count).
    /// A separate pass that costs little: it leaves the phases in the cache for the sum.
    template<int W>
    [[gnu::always_inline]] inline bool hasLargePhase(const float* phase, std::size_t n) {
      using F = typename Lanes<W>::F;
      using M = typename Lanes<W>::M;
      M large{};
      std::size_t k = 0;
      for(; k + W <= n; k += W) {
        F p;
        std::memcpy(&p, phase + k, sizeof(F));
        large |= (p >= largePhase) | (p <= -largePhase);
      }
      bool any = false;
      for(int lane = 0; lane < W; ++lane) any |= large[lane] != 0;
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

    bool hasAvx2() {
      static const bool available = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
      return available;
    }

  } // namespace

  Implementation bestImplementation() { return hasAvx2() ? Implementation::avx2 : Implementation::portable; }

  bool isAvailable(Implementation implementation) { return implementation == Implementation::portable || hasAvx2(); }

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
    if(!isAvailable(implementation)) {
      throw Corvane::logic_error("VectorSumKernels::accumulate: the AVX2 implementation is not available here");
    }
    if(implementation == Implementation::avx2) {
      accumulateAvx2(amplitude.data(), phase.data(), i.data(), q.data(), n);
    }
    else {
      accumulatePortable(amplitude.data(), phase.data(), i.data(), q.data(), n);
    }
  }

} // namespace VectorSumKernels
