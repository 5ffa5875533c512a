// Small phase and value helpers shared by the station's modules. Plain functions without
// state, safe from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace tools {

  /// The phase `degrees` folded into (-180, 180]. NaN and infinities give NaN.
  double canonicalPhaseDefinition(double degrees);

  /// A raw firmware phase count in degrees: 2^18 counts are one full turn.
  float countToDeg(std::int32_t count);

  /// True for zero (either sign) and normal finite values; false for subnormals, infinities, NaN.
  bool correctFloat(float value);

  /// The current local time as "[YYYY-Mon-DD HH:MM:SS.ffffff] ". Throws std::runtime_error when
  /// the time cannot be converted to local time.
  std::string getTime();

} // namespace tools
