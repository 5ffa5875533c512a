#include "AutomationNumerics.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace AutomationNumerics {

  std::optional<RampStep> rampStep(double current, double stepSize, double target) {
    if(!std::isfinite(stepSize) || !(stepSize > 0.0) || !std::isfinite(target)) return std::nullopt;
    const double next = current + stepSize;
    if(next >= target) return RampStep{target, true};
    return RampStep{next, false};
  }

  double limitedStep(double difference, double maxStep) {
    const double limit = std::abs(maxStep);
    if(std::abs(difference) > limit) return std::copysign(limit, difference);
    return difference;
  }

  std::complex<double> openLoopRatio(std::complex<double> error, std::complex<double> vectorSum) {
    return 1.0 + error / vectorSum;
  }

  std::complex<double> closedLoopRatio(std::complex<double> correction, std::complex<double> vectorSum) {
    return vectorSum / (vectorSum - correction);
  }

  OutputCorrection outputCorrection(std::complex<double> ratio, double rateScale, double ratePhase) {
    const double magnitude = std::abs(ratio);
    const double angle = std::arg(ratio) * 180.0 / std::numbers::pi;
    return {std::max(1.0 - rateScale, std::min(1.0 + rateScale, magnitude)),
        std::max(-ratePhase, std::min(ratePhase, angle))};
  }

  OffsetTransform offsetTransform(std::complex<double> measuredDelta, double maxIandQ) {
    OffsetTransform t{};
    t.measuredAmplitude = std::sqrt(std::norm(measuredDelta));
    t.measuredPhase = std::arg(measuredDelta);
    t.offsetAmplitude = std::sqrt(maxIandQ * maxIandQ + maxIandQ * maxIandQ);
    t.offsetPhase = std::atan2(maxIandQ, maxIandQ);
    t.scale = t.offsetAmplitude / t.measuredAmplitude;
    t.angle = std::numbers::pi + (t.offsetPhase - t.measuredPhase);
    return t;
  }

} // namespace AutomationNumerics
