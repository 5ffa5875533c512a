// Effective sample index of a channel: the global sampling position plus the channel's own time offset,
// converted to samples and kept inside the channel's arrays.
//
// The offset in samples is offset (us) x sampling frequency (MHz), rounded to the nearest integer with
// halves away from zero. The sum with the global index is formed in a signed 64-bit type and clamped into
// 0 to length - 1, as the global sampling position clamps its own index, so a negative offset near the start
// of the pulse reads the first sample instead of wrapping round to an index far beyond the arrays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace SampleIndex {

  /// The offset in samples, or nothing when the product is not finite.
  std::optional<int64_t> offsetInSamples(double offsetMicroseconds, double samplingFrequencyMHz);

  /// index + offset clamped into [0, length - 1]; 0 for an empty array.
  uint32_t effectiveIndex(uint32_t index, int64_t offset, std::size_t length);

} // namespace SampleIndex
