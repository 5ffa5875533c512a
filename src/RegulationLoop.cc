#include "RegulationLoop.h"

#include <algorithm>
#include <cmath>

namespace RegulationLoop {

  namespace {
    double limited(double value, double limit) {
      const double magnitude = std::fabs(limit);
      return std::fabs(value) > magnitude ? std::copysign(magnitude, value) : value;
    }

    double bounded(double value) {
      if(std::isnan(value)) return 0.0;
      return std::clamp(value, -driveBound, driveBound);
    }
  } // namespace

  void advanceIndex(std::int32_t previousIndex, bool atTrigger, State& next) {
    if(previousIndex < nSamples - 1) {
      next.sampleIndex = previousIndex + 1;
      next.active = true;
    }
    else {
      next.sampleIndex = atTrigger ? 0 : nSamples - 1;
      next.active = atTrigger;
    }
  }

  std::size_t tableIndex(std::int32_t sampleIndex, std::size_t tableLength) {
    if(tableLength == 0) return 0;
    const auto index = static_cast<std::size_t>(std::max(sampleIndex, std::int32_t{0}));
    return std::min(index, tableLength - 1);
  }

  ZeroDriveChecks computeDrive(const State& previous, State& next, double elapsedSamples, const Settings& settings) {
    ZeroDriveChecks checks;
    const bool checking = settings.feedForwardEnabled && next.feedForwardI > 0.0;

    next.errorI = next.setpointI - previous.vectorSumI;
    next.errorQ = next.setpointQ - previous.vectorSumQ;
    next.proportionalI = settings.feedbackEnabled ? next.gainI * next.errorI : 0.0;
    next.proportionalQ = settings.feedbackEnabled ? next.gainQ * next.errorQ : 0.0;
    // the integral feeds nothing yet; it is kept for the DAQ of a later firmware model
    next.integralI = settings.integratorEnabled ? previous.integralI + next.errorI * elapsedSamples : 0.0;
    next.integralQ = settings.integratorEnabled ? previous.integralQ + next.errorQ * elapsedSamples : 0.0;
    next.proportionalI = limited(next.proportionalI, settings.limitI);
    next.proportionalQ = limited(next.proportionalQ, settings.limitQ);

    double vI = next.proportionalI;
    double vQ = next.proportionalQ;
    if(settings.feedForwardEnabled) {
      vI += next.feedForwardI;
      vQ += next.feedForwardQ;
    }
    checks.a = checking && vI == 0.0;

    const double outputScale = settings.driveGain / settings.driveAttenuationFactor;
    vI = (bounded(vI) + settings.dacOffsetI + settings.vmOffsetI) * outputScale;
    vQ = (bounded(vQ) + settings.dacOffsetQ + settings.vmOffsetQ) * outputScale;

    const double r = settings.outputRotationRe, m = settings.outputRotationIm;
    const double rotatedI = vI * r - vQ * m;
    const double rotatedQ = vI * m + vQ * r;
    checks.b = checking && rotatedI == 0.0;

    const double c = settings.finalRotationCos, s = settings.finalRotationSin, amplitude = settings.outputAmplitudeFactor;
    next.driveI = (rotatedI * c - rotatedQ * s) * amplitude;
    next.driveQ = (rotatedI * s + rotatedQ * c) * amplitude;
    checks.c = checking && next.driveI == 0.0;
    return checks;
  }

  IQ detect(IQ input, double attenuationFactor, double cosine, double sine) {
    const double i = input.i / attenuationFactor;
    const double q = input.q / attenuationFactor;
    return {i * cosine - q * sine, i * sine + q * cosine};
  }

  double attenuationFromRegister(double value, double stepDb) {
    if(std::isnan(value)) return 63.0 * stepDb;
    return std::clamp((63.0 - value) * stepDb, 0.0, 63.0 * stepDb);
  }

  double attenuationFactor(double attenuationDb) { return std::pow(10.0, attenuationDb / 10.0); }

} // namespace RegulationLoop
