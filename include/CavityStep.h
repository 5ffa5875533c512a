// One time step of the simulated cavity's baseband field equation
//
//   dV/dt = 2 omegaH F - (omegaH - i omegaDetuning) V,     V = I + iQ, F = forward signal,
//
// solved exactly over the step with the forward signal held at its value at the step's end.
// The field decays at omegaH and turns at omegaDetuning whatever the step length, so the long
// gap between two pulses is one stable step; for steps short against 1/omegaH the result equals
// the explicit Euler step to first order.
//
// Plain functions without state, safe from any thread; CavityModel wraps them.
#pragma once

namespace CavityStep {

  struct Field {
    double i{0.0};
    double q{0.0};
  };

  /// The change of the field over `seconds` (>= 0) with `forward` held.
  Field increment(Field field, Field forward, double omegaH, double omegaDetuning, double seconds);

  /// field + increment, where an increment component that is NaN counts as 0 and one beyond
  /// +-1e99 as +-1e99 (the model's guard against parameters that make the step meaningless).
  Field advance(Field field, Field forward, double omegaH, double omegaDetuning, double seconds);

} // namespace CavityStep
