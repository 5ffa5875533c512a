// Ramp-up of the automation: from RF off to the operator's set point and gain, then continuous-wave operation.
// Every wait for a trigger or for traces acts on a switch-off request or an interlock at once, so RF never
// stays on while the traces the ramp watches have stopped.
#include "Automation.h"
#include "AutomationNumerics.h"

#include <cmath>
#include <string>

namespace {
  const std::string vectorSumTooLarge = "Vector sum amplitude too large, check calibration.";
  const std::string errorTooLarge = "Error amplitude too large, check gain setting.";

  /// The checks of the ramp: `value` above `limit` is too large, and so is a value that is not a number.
  bool exceeds(double value, double limit) { return !(value <= limit); }

  std::string unusableRamp(const std::string& stepName, const std::string& targetName) {
    return "Ramp needs a finite positive " + stepName + " and a finite " + targetName + ".";
  }
} // namespace

void Automation::Main::rampUp() {
  auto& rampup = _my.rampup;
  auto& cascade = controller.output.calibration.cascadeInputAutomation;
  auto& vectorSum = controller.vectorSum.daq;

  logger(Corvane::Logger::Severity::debug) << "Ramping up..." << std::endl;
  showMode(CURRENT_MODE::RAMPUP);
  if(waitForUpdatesOrAbort({server.triggerNumber.getId()})) return;
  interlockDetection.enable.setAndWrite(false);
  cascade.enable = 1;
  cascade.scale = 1.0;
  cascade.angle = 0.0;
  cascade.writeAll(false);
  controller.setPoint.amplitude = rampup.initialSetpoint;
  controller.setPoint.phase = _my.setPoint.phase;
  controller.feedBack.gain.magnitude = 0.0;
  controller.pulseShape.cwMode = 0;
  controller.writeAll(false);
  if(waitTriggerOrAbort()) return;

  // the drive goes on; the interlock detection stays off until the vector sum has been seen
  interlockDetection.feedForward.enable.setAndWrite(true);
  for(int i = 0; i < 5; ++i) {
    if(waitTriggerOrAbort()) return;
  }
  if(waitForUpdatesOrAbort({vectorSum.samples.amplitude.getId()})) return;
  if(exceeds(vectorSum.samples.amplitude, rampup.initialSetpoint + rampup.allowedAmplitudeExcess)) {
    errorState(vectorSumTooLarge);
    return;
  }
  controller.pulseShape.cwMode.setAndWrite(1);
  interlockDetection.enable.setAndWrite(true);

  const auto type = rampup.type.value();
  if(type == 1) {
    if(!outputVectorCorrection(false)) return;
    interlockDetection.feedBack.enable.setAndWrite(true);
    if(!rampGain([&] { return rampup.gain.value(); }, "Rampup/gain")) return;
  }

  rampup.pauseRamping.read();
  if(rampup.pauseRamping == 1) {
    errorState("Pause ramping is active before ramping started. Needs to be set OFF by the user!");
    return;
  }

  // the set point, one step per vector-sum measurement; the last value is measured once more
  bool reached = false;
  while(true) {
    if(checkForAbort()) return;
    rampup.pauseRamping.read();
    if(rampup.pauseRamping == 1) {
      _group.readAny();
      continue;
    }
    if(waitForUpdatesOrAbort({vectorSum.statistics.amplitudeAverage.getId()})) return;
    if(exceeds(vectorSum.statistics.amplitudeAverage, rampup.allowedAmplitudeExcess + controller.setPoint.amplitude)) {
      errorState(vectorSumTooLarge);
      return;
    }
    if(reached) break;
    const auto step =
        AutomationNumerics::rampStep(controller.setPoint.amplitude, rampup.stepsizeSetpoint, _my.setPoint.amplitude);
    if(!step) {
      errorState(unusableRamp("Rampup/stepsizeSetpoint", "SetPoint/amplitude"));
      return;
    }
    controller.setPoint.amplitude.setAndWrite(step->value);
    reached = step->reached;
    const auto rerun = rampup.ovc.rerunDuringRamping.value();
    if(type == 1 && (rerun == 1 || rerun == 3)) {
      if(!outputVectorCorrection(true)) return;
    }
  }
  if(waitTriggerOrAbort()) return;

  const auto rerun = rampup.ovc.rerunDuringRamping.value();
  if(type != 0) {
    if((rerun == 2 || rerun == 3) && !outputVectorCorrection(true)) return;
  }
  else {
    if(!outputVectorCorrection(false)) return;
    interlockDetection.feedBack.enable.setAndWrite(true);
  }
  if(!rampGain([&] { return _my.feedBack.gain.magnitude.value(); }, "FeedBack/Gain/magnitude")) return;
  if(waitTriggerOrAbort()) return;
  cwAuto();
}

bool Automation::Main::rampGain(const std::function<double()>& target, const std::string& targetName) {
  auto& rampup = _my.rampup;
  auto& gain = controller.feedBack.gain.magnitude;
  bool reached = false;
  while(true) {
    if(checkForAbort()) return false;
    if(waitForUpdatesOrAbort({controller.error.daq.statistics.amplitudeAverage.getId()})) return false;
    if(exceeds(controller.error.daq.statistics.amplitudeAverage, rampup.allowedError)) {
      errorState(errorTooLarge);
      return false;
    }
    if(reached) return true;
    const auto step = AutomationNumerics::rampStep(gain, rampup.stepsizeGain, target());
    if(!step) {
      errorState(unusableRamp("Rampup/stepsizeGain", targetName));
      return false;
    }
    gain.setAndWrite(step->value);
    reached = step->reached;
  }
}

void Automation::Main::cwAuto() {
  logger(Corvane::Logger::Severity::debug) << "CW auto mode activated." << std::endl;
  auto shown = CURRENT_MODE::CW_AUTO;
  showMode(shown);

  // a step limit that is not a number would let the whole difference through: nothing moves, one warning
  struct StepLimitWarning {
    std::string limitName;
    bool shown{false};
  };
  StepLimitWarning amplitudeLimit{"Ramp/amplitudeStep"};
  StepLimitWarning phaseLimit{"Ramp/phaseStep"};
  // true when the set point is away from its target (the difference is not folded, for the phase neither)
  auto follow = [&](Corvane::ScalarOutputPushRB<double>& setPoint, double target, double maxStep,
                    StepLimitWarning& limit) {
    const double difference = target - setPoint;
    if(!(std::abs(difference) > 0.001)) return false;
    if(!std::isfinite(maxStep)) {
      if(!limit.shown) {
        logger(Corvane::Logger::Severity::warning) << limit.limitName << " is not a finite number: the set point is not stepped." << std::endl;
        limit.shown = true;
      }
      return true;
    }
    limit.shown = false;
    setPoint.setAndWrite(setPoint + AutomationNumerics::limitedStep(difference, maxStep));
    return true;
  };

  while(true) {
    const auto updated = _group.readAny();
    if(updated == _my.feedBack.gain.magnitude.getId()) {
      controller.feedBack.gain.magnitude.setAndWrite(_my.feedBack.gain.magnitude);
    }
    if(interlockDetection.interlockDetected) {
      errorState(interlockMessage);
      return;
    }
    if(request() == MODE_REQUEST::SWITCH_OFF) return;
    if(updated != server.triggerNumber.getId()) continue;
    const bool amplitudeMoves =
        follow(controller.setPoint.amplitude, _my.setPoint.amplitude, _my.ramp.amplitudeStep, amplitudeLimit);
    const bool phaseMoves = follow(controller.setPoint.phase, _my.setPoint.phase, _my.ramp.phaseStep, phaseLimit);
    const auto mode = amplitudeMoves || phaseMoves ? CURRENT_MODE::RAMPING : CURRENT_MODE::CW_AUTO;
    if(mode != shown) {
      shown = mode;
      showMode(shown);
    }
  }
}
