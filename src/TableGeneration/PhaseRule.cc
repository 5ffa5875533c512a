#include "TableGeneration/PhaseRule.h"

#include "TableNumerics.h"

#include <cmath>

namespace TableGeneration {

  double exponentialModulation(double x, double n, double tau) {
    // (exp(-x/tau) - exp(-n/tau)) / (1 - exp(-n/tau)), written with expm1 to keep
    // its precision
    const double denominator = -std::expm1(-n / tau);
    if(denominator == 0.0) return (n - x) / n; // the limit of an infinitely long time constant
    return (std::expm1(-x / tau) - std::expm1(-n / tau)) / denominator;
  }

  double phaseOfSample(const PhaseRuleInputs& in, std::int32_t i, const ConsistencyReport& report) {
    double p = in.phase;
    if(in.cwMode != 0) return p;

    if(in.frequencyModulation) {
      const double degreesPerSample = (360.0 * in.frequencyOffset / 1000.0) / in.samplingFrequency;
      p += degreesPerSample * static_cast<double>(std::int64_t{i} - in.ffFillingBegin);
    }

    // filling delta before the flat-top, the slope across it, the full slope
    // after it
    const std::int64_t a = in.flattopBegin, b = in.flattopEnd;
    if(i < a) {
      p += in.phaseFillingDelta;
      if(i >= b) p += in.phaseSlope;
    } else if(i < b) {
      p += static_cast<double>(i - a) / static_cast<double>(b - a) * in.phaseSlope;
    } else {
      p += in.phaseSlope;
    }

    if(in.functionSelect == 1) {
      const double m = in.maximumPhaseOffset;
      if(i < in.window.start) {
        p -= m;
      } else if(i <= in.window.stop) {
        const double x = static_cast<double>(std::int64_t{i} - in.window.start);
        const std::int64_t width = std::int64_t{in.window.stop} - in.window.start;
        const double n = width == 0 ? 1.0 : static_cast<double>(width);
        double tau = in.timeConstant * in.samplingFrequency;
        const double ratio = n / tau;
        if(ratio < -500.0) tau = -n / 500.0;
        if(std::isnan(ratio) || ratio > 1e12) tau = n / 1e12;
        double fn = exponentialModulation(x, n, tau);
        if(!std::isfinite(fn)) {
          report("std::isfinite(fn)", 69);
          fn = 0.0;
        }
        p -= m * fn;
      }
    }

    if(!std::isfinite(p)) {
      report("std::isfinite(phase)", 74);
      p = 0.0;
    }
    return TableNumerics::wrapPhase(p);
  }

} // namespace TableGeneration
