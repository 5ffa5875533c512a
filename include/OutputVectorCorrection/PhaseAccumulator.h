// Circular mean of phases in degrees: each phase counts as a unit vector, so phases around +-180 deg average to
// 180 deg and not to 0. Keeps running sums of sines and cosines, so its memory does not grow with the number of
// phases added.
#pragma once

#include <cstdint>

namespace OutputVectorCorrection {

  class PhaseAccumulator {
   public:
    void reset();
    void add(double degrees);
    /// Mean direction in degrees in (-180, 180]; NaN when no phase was added since the last reset.
    double mean() const;
    std::uint64_t count() const { return _count; }

   private:
    std::uint64_t _count{0};
    double _sumSin{0.0};
    double _sumCos{0.0};
  };

} // namespace OutputVectorCorrection
