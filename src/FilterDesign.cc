#include "FilterDesign.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace FilterDesign {

  namespace {

    constexpr double pi = 3.141592653589793;
    constexpr double sqrt2 = 1.4142135623730951;

    std::string describe(const char* what, double value, const char* rule, double limit = 0.0) {
      std::ostringstream text;
      text.precision(17);
      text << what << " " << value << " kHz " << rule;
      if(limit != 0.0) text << " (" << limit << " kHz)";
      return text.str();
    }

    /// Empty when the frequency is usable, else why not.
    std::string checkFrequency(double frequency, double samplingFrequency) {
      if(!std::isfinite(samplingFrequency) || !(samplingFrequency > 0.0)) {
        return describe("sampling frequency", samplingFrequency, "is not a positive finite value");
      }
      if(!(frequency > 0.0) || !(frequency < 0.5 * samplingFrequency)) {
        return describe(
            "frequency", frequency, "is outside 0 < f < half the sampling frequency", 0.5 * samplingFrequency);
      }
      return {};
    }

    /// Bilinear-transform constant pre-warped at the frequency.
    double prewarp(double frequency, double samplingFrequency) {
      return 1.0 / std::tan(pi * frequency / samplingFrequency);
    }

    Coefficients notch(double frequency, double bandwidth, double samplingFrequency) {
      const double k = prewarp(frequency, samplingFrequency);
      const double k2 = k * k;
      const double q = 0.5 * frequency / bandwidth;
      const double norm = q * k2 + k + q;
      const double a0 = -2.0 * q * (k2 - 1.0) / norm;
      const double a1 = (q * k2 - k + q) / norm;
      const double b0 = q * (k2 + 1.0) / norm;
      return {a0, a1, b0, a0, b0};
    }

    Coefficients lowPass(double frequency, double samplingFrequency) {
      const double k = prewarp(frequency, samplingFrequency);
      const double k2 = k * k;
      const double norm = k2 + sqrt2 * k + 1.0;
      const double a0 = -2.0 * (k2 - 1.0) / norm;
      const double a1 = (k2 - sqrt2 * k + 1.0) / norm;
      return {a0, a1, 1.0 / norm, 2.0 / norm, 1.0 / norm};
    }

    Design accept(const Coefficients& coefficients) {
      if(!std::all_of(coefficients.begin(), coefficients.end(), [](double c) { return std::isfinite(c); })) {
        return {std::nullopt, "the design gives coefficients that are not finite"};
      }
      return {coefficients, {}};
    }

  } // namespace

  Design design(int32_t type, double frequency, double bandwidth, double samplingFrequency) {
    switch(type) {
      case static_cast<int32_t>(FilterType::none):
        return {passThrough, {}};
      case static_cast<int32_t>(FilterType::notch): {
        if(auto refusal = checkFrequency(frequency, samplingFrequency); !refusal.empty()) return {{}, refusal};
        if(!(bandwidth > 0.0) || !std::isfinite(bandwidth)) {
          return {std::nullopt, describe("bandwidth", bandwidth, "is not a positive finite value")};
        }
        return accept(notch(frequency, bandwidth, samplingFrequency));
      }
      case static_cast<int32_t>(FilterType::lowPass): {
        if(auto refusal = checkFrequency(frequency, samplingFrequency); !refusal.empty()) return {{}, refusal};
        return accept(lowPass(frequency, samplingFrequency));
      }
      default:
        return {blocked, {}};
    }
  }

} // namespace FilterDesign
