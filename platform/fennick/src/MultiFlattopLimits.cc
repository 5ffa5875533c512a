#include "llrf/MultiFlattopLimits.h"

#include "llrf/Phase.h"

#include <cmath>
#include <limits>
#include <tuple>

namespace llrf {

  namespace {
    constexpr double infinity = std::numeric_limits<double>::infinity();
  }

  double MultiFlattopLimits::distance(const Setpoint& from, const Setpoint& to) noexcept {
    // The same operand order either way round, so that the result is exactly symmetric.
    const bool swap = std::tie(to.amplitude, to.phase) < std::tie(from.amplitude, from.phase);
    const Setpoint& a = swap ? to : from;
    const Setpoint& b = swap ? from : to;
    // Rotated by -phase(a): |z_b - z_a| = |a_b * exp(i * dPhi) - a_a|. Equal phases then give
    // |a_b - a_a| and opposite ones |a_b + a_a| without rounding of the angle.
    const SinCos d = sinCosDegrees(b.phase - a.phase);
    const double result = std::hypot(b.amplitude * d.cos - a.amplitude, b.amplitude * d.sin);
    if(!std::isfinite(result) || !std::isfinite(a.amplitude) || !std::isfinite(b.amplitude)) {
      return infinity;
    }
    return result;
  }

  double MultiFlattopLimits::computeTransitionTime(const Setpoint& from, const Setpoint& to) const noexcept {
    const double d = distance(from, to);
    if(d == 0.0) return 0.0;
    if(!std::isfinite(_radius) || _radius <= 0.0) return infinity;
    return d / _radius; // d > 0 and radius > 0: positive, +inf at worst
  }

} // namespace llrf
