// One complex set-point value in polar form, as the per-bunch set-point tables give it.
#pragma once

namespace llrf {

  struct Setpoint {
    double amplitude{0.0}; ///< G.U.
    double phase{0.0};     ///< degrees
  };

} // namespace llrf
