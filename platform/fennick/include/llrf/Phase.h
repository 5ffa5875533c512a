// Phase helpers in degrees: folding into one canonical turn, and sine/cosine of an angle in
// degrees that is exact at multiples of 90 degrees.
#pragma once

namespace llrf {

  /// The same angle folded into (-180, 180]: r = fmod(degrees, 360), then r - 360 when r > 180,
  /// r + 360 when r <= -180. +180 stays +180, -180 becomes +180. NaN gives NaN, and so does an
  /// infinity (its remainder is NaN); the folding never loops.
  double canonicalPhaseDefinition(double degrees) noexcept;

  struct SinCos {
    double sin;
    double cos;
  };

  /// sin and cos of an angle in degrees. The angle is reduced in degrees first (exactly), so
  /// multiples of 90 give exact 0 and +-1 and large angles lose no precision in the reduction.
  /// A non-finite angle gives NaN for both.
  SinCos sinCosDegrees(double degrees) noexcept;

} // namespace llrf
