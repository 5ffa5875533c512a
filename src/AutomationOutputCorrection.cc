// The automation's own output vector correction: scale and angle of the cascade input "CascadeInputAutomation"
// of the controller's output calibration, corrected in limited steps until the error vector is small enough.
#include "Automation.h"
#include "AutomationNumerics.h"
#include "tools.h"

#include <cmath>

std::optional<Automation::Main::OutputError> Automation::Main::measureOutputError(bool closedLoop) {
  auto& vectorSum = controller.vectorSum.daq.statistics;
  const double targetError = _my.rampup.ovc.targetError;
  if(closedLoop) {
    const double gain = controller.feedBack.gain.magnitude;
    // the correction divides by the gain: without one it has nothing to correct from
    if(!std::isfinite(gain) || gain == 0.0) {
      errorState("Output vector correction in closed loop needs a finite non-zero gain.");
      return std::nullopt;
    }
    auto& proportional = controller.output.proportional.daq.statistics;
    if(waitForUpdatesOrAbort({proportional.IAverage.getId(), proportional.QAverage.getId()})) return std::nullopt;
    const std::complex<double> correction =
        std::complex<double>(proportional.IAverage, proportional.QAverage) * (1.0 / gain);
    const std::complex<double> sum(vectorSum.IAverage, vectorSum.QAverage);
    return OutputError{AutomationNumerics::closedLoopRatio(correction, sum), std::abs(correction), targetError / gain};
  }
  auto& error = controller.error.daq.statistics;
  if(waitForUpdatesOrAbort(
         {error.IAverage.getId(), error.QAverage.getId(), vectorSum.IAverage.getId(), vectorSum.QAverage.getId()})) {
    return std::nullopt;
  }
  const std::complex<double> e(error.IAverage, error.QAverage);
  const std::complex<double> sum(vectorSum.IAverage, vectorSum.QAverage);
  return OutputError{AutomationNumerics::openLoopRatio(e, sum), std::abs(e), targetError};
}

bool Automation::Main::outputVectorCorrection(bool closedLoop) {
  auto& ovc = _my.rampup.ovc;
  auto& cascade = controller.output.calibration.cascadeInputAutomation;
  if(checkForAbort()) return false;
  std::uint32_t iteration = 0;
  while(true) {
    const auto measured = measureOutputError(closedLoop);
    if(!measured) return false;
    if(measured->limit > measured->magnitude) return true;
    ++iteration;
    if(iteration > ovc.maxIterations) {
      errorState("Output vector correction did not converge. Check calibration.");
      return false;
    }

    const auto correction = AutomationNumerics::outputCorrection(measured->ratio, ovc.rateScale, ovc.ratePhase);
    double scale = cascade.scale * correction.factor;
    const double angle = tools::canonicalPhaseDefinition(cascade.angle + correction.angleStep);
    if(scale > ovc.maxScale) {
      if(ovc.debug != 0) logger(Corvane::Logger::Severity::debug) << "Upper limit of OVC scaling reached." << std::endl;
      scale = ovc.maxScale;
    }
    if(ovc.minScale > scale) {
      if(ovc.debug != 0) logger(Corvane::Logger::Severity::debug) << "Lower limit of OVC scaling reached." << std::endl;
      scale = ovc.minScale;
    }
    if(ovc.debug != 0) {
      logger(Corvane::Logger::Severity::debug) << "Applying OVC changes. Iteration step: " << iteration << " Error: " << measured->magnitude
                    << " (limit: " << measured->limit << "). New scale: " << scale << " New angle: " << angle
                    << std::endl;
    }
    // a vector sum of 0, a trace or a parameter that is not a number: nothing of it reaches the calibration
    if(!std::isfinite(scale) || !std::isfinite(angle)) {
      errorState("Output vector correction found no finite correction. Check calibration.");
      return false;
    }
    cascade.scale = scale;
    cascade.angle = angle;
    cascade.writeAll(false);
    if(checkForAbort()) return false;
  }
}
