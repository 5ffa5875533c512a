#include "llrf/Phase.h"

#include <cmath>
#include <limits>
#include <numbers>

namespace llrf {

  double canonicalPhaseDefinition(double degrees) noexcept {
    const double r = std::fmod(degrees, 360.0);
    if(r > 180.0) return r - 360.0;
    if(r <= -180.0) return r + 360.0;
    return r;
  }

  SinCos sinCosDegrees(double degrees) noexcept {
    if(!std::isfinite(degrees)) {
      const double nan = std::numeric_limits<double>::quiet_NaN();
      return {nan, nan};
    }
    // fmod is exact; so is r - 90q, since r and 90q lie within a factor of two of each other.
    const double r = std::fmod(degrees, 360.0);
    const double q = std::nearbyint(r / 90.0);
    const double rad = (r - 90.0 * q) * (std::numbers::pi / 180.0);
    const double s = std::sin(rad);
    const double c = std::cos(rad);
    switch((static_cast<int>(q) % 4 + 4) % 4) {
      case 0:
        return {s, c};
      case 1:
        return {c, -s};
      case 2:
        return {-s, -c};
      default:
        return {-c, s};
    }
  }

} // namespace llrf
