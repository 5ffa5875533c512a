// Number conversions shared by the controller's table writers: a double turned into an integer
// of the firmware or of a table index without undefined behaviour, phases wrapped into
// [-180, 180] without a loop, and the check that a table holds only values the firmware may take.
// Plain functions without state, safe from any thread.
#pragma once

#include <cmath>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>

namespace TableNumerics {

  /// `value` truncated toward zero into T, saturating at T's limits (infinities included); NaN gives 0.
  /// Callers that must not see a NaN as 0 check finiteness first.
  template<std::integral T>
  T saturatingTruncation(double value) {
    if(std::isnan(value)) return T{0};
    // the limits as long double are exact for every integer type up to 64 bits
    const auto truncated = std::trunc(static_cast<long double>(value));
    if(truncated <= static_cast<long double>(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
    if(truncated >= static_cast<long double>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
    return static_cast<T>(truncated);
  }

  /// `value` rounded half away from zero into T, saturating like saturatingTruncation(); NaN gives 0.
  template<std::integral T>
  T saturatingRounding(double value) {
    return saturatingTruncation<T>(std::round(value));
  }

  /// `index` + `offset` kept inside a table of `length` samples: clamped to [0, length - 1], 0 for an empty
  /// table. The sum is formed in 64 bits, so no pair of 32-bit indices can overflow it.
  std::int32_t clampedIndexSum(std::int32_t index, std::int64_t offset, std::uint64_t length);

  /// `value` > `limit` and finite: the form of every "greater than" rule on operator values, so that an
  /// infinite value (which would admit infinite amplitudes) fails like NaN does.
  inline bool finiteAbove(double value, double limit) { return std::isfinite(value) && value > limit; }
  /// `value` >= `limit` and finite.
  inline bool finiteAtLeast(double value, double limit) { return std::isfinite(value) && value >= limit; }

  /// The phase `degrees` wrapped into [-180, 180]: 180 stays 180 and -180 stays -180, 540 gives 180, 183
  /// gives -177. The same result as subtracting or adding 360 until it lies there, without the loop (which an
  /// infinite or huge phase would never leave). NaN and infinities give NaN.
  double wrapPhase(double degrees);

  /// The index of the first value that cannot go to the firmware: not finite, or outside the single-precision
  /// range; nullopt when every value may go.
  std::optional<std::size_t> firstUnfitIndex(std::span<const double> values);

  /// Why a table element cannot go to the firmware: the first element that is not finite or lies outside
  /// the single-precision range, as "<name>[<index>] is <value>" (e.g. "scale[3] is nan"); nullopt when every
  /// element may go.
  std::optional<std::string> firstUnfitElement(std::span<const double> values, const std::string& name);

} // namespace TableNumerics
