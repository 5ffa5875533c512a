#include "CavityStep.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace CavityStep {

  namespace {
    constexpr double incrementLimit = 1e99;

    double guarded(double increment) {
      if(std::isnan(increment)) return 0.0;
      return std::clamp(increment, -incrementLimit, incrementLimit);
    }
  } // namespace

  Factor factor(double omegaH, double omegaDetuning, double seconds) {
    // With a = omegaH - i omegaDetuning and x = a * seconds:
    //   V(t + dt) - V(t) = (1 - e^-x) (2 omegaH F / a - V) = g (2 omegaH F - a V) * seconds,
    // g = (1 - e^-x) / x, which tends to 1 for small x (the Euler step). 1 - e^-x is formed with
    // expm1 so that g keeps its precision for steps far below the time constant.
    const std::complex<double> a(omegaH, -omegaDetuning);
    const std::complex<double> x = a * seconds;
    if(!(std::abs(x) > 0.0)) return {};
    // e^-x - 1 with x = xr + i xi:  e^-xr cos(xi) - 1 - i e^-xr sin(xi)
    const double xr = x.real(), xi = x.imag();
    const double halfSine = std::sin(0.5 * xi);
    const std::complex<double> expm1MinusX(
        std::expm1(-xr) * std::cos(xi) - 2.0 * halfSine * halfSine, -std::exp(-xr) * std::sin(xi));
    const std::complex<double> g = -expm1MinusX / x;
    return {g.real(), g.imag()};
  }

  Field increment(Field field, Field forward, double omegaH, double omegaDetuning, double seconds, Factor g) {
    const std::complex<double> a(omegaH, -omegaDetuning);
    const std::complex<double> v(field.i, field.q);
    const std::complex<double> drive = 2.0 * omegaH * std::complex<double>(forward.i, forward.q) - a * v;
    const std::complex<double> change = std::complex<double>(g.re, g.im) * drive * seconds;
    return {change.real(), change.imag()};
  }

  Field increment(Field field, Field forward, double omegaH, double omegaDetuning, double seconds) {
    return increment(field, forward, omegaH, omegaDetuning, seconds, factor(omegaH, omegaDetuning, seconds));
  }

  Field advance(Field field, Field forward, double omegaH, double omegaDetuning, double seconds, Factor g) {
    const Field change = increment(field, forward, omegaH, omegaDetuning, seconds, g);
    return {field.i + guarded(change.i), field.q + guarded(change.q)};
  }

  Field advance(Field field, Field forward, double omegaH, double omegaDetuning, double seconds) {
    return advance(field, forward, omegaH, omegaDetuning, seconds, factor(omegaH, omegaDetuning, seconds));
  }

} // namespace CavityStep
