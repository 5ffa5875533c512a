// Slew-rate limit of the set-point between and inside the beam regions of a multi-flattop
// (per-bunch) pulse.
//
// Model: the complex set-point z = amplitude * exp(i * phase) may move by at most `radius`
// (G.U. per microsecond) in the complex plane, i.e. the set-points reachable within one
// microsecond lie in a circle of that radius. A change from `from` to `to` therefore needs
//
//   computeTransitionTime(from, to) = |z_to - z_from| / radius   microseconds.
//
// Conservative edges (the callers compare the time with the time available and refuse the
// tables when it does not fit):
//   - no change (|z_to - z_from| == 0) needs 0 whatever the radius;
//   - any other change needs +infinity while the radius is not a positive finite number
//     (e.g. the initial radius 0);
//   - a non-finite amplitude or phase in either set-point needs +infinity.
// The result is never NaN and never negative.
#pragma once

#include "llrf/Setpoint.h"

namespace llrf {

  class MultiFlattopLimits {
   public:
    void setRadius(double radius) noexcept { _radius = radius; }
    double radius() const noexcept { return _radius; }

    /// Minimum time in microseconds for the set-point change from `from` to `to`.
    double computeTransitionTime(const Setpoint& from, const Setpoint& to) const noexcept;

    /// |z_to - z_from| with z = amplitude * exp(i * phase in degrees); +inf when not finite.
    static double distance(const Setpoint& from, const Setpoint& to) noexcept;

   private:
    double _radius{0.0};
  };

} // namespace llrf
