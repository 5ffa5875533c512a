#include "SampleIndex.h"

#include <algorithm>
#include <cmath>

namespace SampleIndex {

  namespace {
    // Far beyond any pulse length, small enough that the sum with a 32-bit index cannot overflow.
    constexpr double maximumOffset = 1e15;
  } // namespace

  std::optional<int64_t> offsetInSamples(double offsetMicroseconds, double samplingFrequencyMHz) {
    const double samples = offsetMicroseconds * samplingFrequencyMHz;
    if(!std::isfinite(samples)) return std::nullopt;
    return static_cast<int64_t>(std::round(std::clamp(samples, -maximumOffset, maximumOffset)));
  }

  uint32_t effectiveIndex(uint32_t index, int64_t offset, std::size_t length) {
    if(length == 0) return 0;
    const int64_t last = static_cast<int64_t>(std::min<std::size_t>(length - 1, UINT32_MAX));
    const int64_t wanted = static_cast<int64_t>(index) + std::clamp<int64_t>(offset, -last - 1, last + 1);
    return static_cast<uint32_t>(std::clamp<int64_t>(wanted, 0, last));
  }

} // namespace SampleIndex
