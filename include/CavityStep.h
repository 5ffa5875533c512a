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

  /// The factor g = (1 - e^-x) / x of a step, x = (omegaH - i omegaDetuning) * seconds (1 for
  /// x = 0). It depends on the step's length and the cavity's rates alone, so a caller stepping
  /// at a fixed rate computes it once.
  struct Factor {
    double re{1.0};
    double im{0.0};
  };
  Factor factor(double omegaH, double omegaDetuning, double seconds);

  /// The change of the field over `seconds` (>= 0) with `forward` held.
  Field increment(Field field, Field forward, double omegaH, double omegaDetuning, double seconds);
  /// The same with the step's factor given (factor(omegaH, omegaDetuning, seconds)).
  Field increment(Field field, Field forward, double omegaH, double omegaDetuning, double seconds, Factor g);

  /// field + increment, where an increment component that is NaN counts as 0 and one beyond
  /// +-1e99 as +-1e99 (the model's guard against parameters that make the step meaningless).
  Field advance(Field field, Field forward, double omegaH, double omegaDetuning, double seconds);
  /// The same with the step's factor given.
  Field advance(Field field, Field forward, double omegaH, double omegaDetuning, double seconds, Factor g);

} // namespace CavityStep
