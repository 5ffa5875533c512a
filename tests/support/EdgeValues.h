// The values at the edges of the numbers the tests feed: not a number, infinity and the limits of the
// boards' 32-bit integers. Test sources name them with using-declarations, which may repeat in one unity batch.
#pragma once

#include <cstdint>
#include <limits>

namespace testvalues {

  inline constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  inline constexpr double inf = std::numeric_limits<double>::infinity();
  inline constexpr auto int32Max = std::numeric_limits<std::int32_t>::max();
  inline constexpr auto int32Min = std::numeric_limits<std::int32_t>::min();

} // namespace testvalues
