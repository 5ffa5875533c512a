#include "TableNumerics.h"

#include <algorithm>
#include <sstream>

namespace TableNumerics {

  std::int32_t clampedIndexSum(std::int32_t index, std::int64_t offset, std::uint64_t length) {
    if(length == 0) return 0;
    const auto last = static_cast<std::int64_t>(std::min<std::uint64_t>(length - 1, INT32_MAX));
    // the offset may be up to 2^63 - 1 in size: bound it before the addition so that the sum cannot wrap
    const auto bounded = std::clamp<std::int64_t>(offset, -(std::int64_t{1} << 40), std::int64_t{1} << 40);
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(index + bounded, 0, last));
  }

  double wrapPhase(double degrees) {
    const double r = std::fmod(degrees, 360.0);
    if(r > 180.0) return r - 360.0;
    if(r < -180.0) return r + 360.0;
    return r;
  }

  std::optional<std::size_t> firstUnfitIndex(std::span<const double> values) {
    constexpr double largest = std::numeric_limits<float>::max();
    for(std::size_t i = 0; i < values.size(); ++i) {
      if(!std::isfinite(values[i]) || std::fabs(values[i]) > largest) return i;
    }
    return std::nullopt;
  }

  std::optional<std::string> firstUnfitElement(std::span<const double> values, const std::string& name) {
    const auto unfit = firstUnfitIndex(values);
    if(!unfit) return std::nullopt;
    std::ostringstream text;
    text << name << "[" << *unfit << "] is " << values[*unfit];
    return text.str();
  }

} // namespace TableNumerics
