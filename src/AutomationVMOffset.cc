// The vector modulator's DAC offsets: the operator's offsets handed to the controller, and their calibration,
// which measures how an offset step moves the vector sum and then moves trial offsets against the leakage
// seen with RF off until it is small enough. Only finite offsets inside the DAC's range reach the controller.
#include "Automation.h"
#include "AutomationNumerics.h"
#include "TableNumerics.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>

namespace {
  const std::string separator(46, '=');
  const std::string notConverged = "VM offset calibration did not converge.";

  /// A DAC offset as the board takes it: truncated toward zero, saturated at the register's range, 0 for NaN.
  std::int32_t dacValue(double offset) { return TableNumerics::saturatingTruncation<std::int32_t>(offset); }

  /// A trial offset the calibration may send: within +-maxIandQ and inside the DAC's range (so not NaN either).
  bool inRange(double offset, double maxIandQ) {
    return std::abs(offset) <= maxIandQ && std::abs(offset) <= std::numeric_limits<std::int32_t>::max();
  }

  /// Two numbers formatted as the C library does (an out-of-range offset may need many digits).
  std::string printed(const char* format, double first, double second) {
    const int length = std::snprintf(nullptr, 0, format, first, second);
    if(length <= 0) return {};
    std::string text(static_cast<std::size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, format, first, second);
    return text;
  }

  double degrees(double radians) { return radians * 180.0 / std::numbers::pi; }
} // namespace

void Automation::Main::passThroughVMoffset() {
  auto& offset = controller.vectorModulator.dacOffset;
  offset.I = dacValue(static_cast<double>(_my.vectorModulator.dacOffset.I.value()) + offsetCorrectionI);
  offset.Q = dacValue(static_cast<double>(_my.vectorModulator.dacOffset.Q.value()) + offsetCorrectionQ);
  offset.writeAll(false);
}

void Automation::Main::endVMoffsetTrial() {
  offsetCorrectionI = 0.0;
  offsetCorrectionQ = 0.0;
  passThroughVMoffset();
}

void Automation::Main::failVMoffsetCalibration(const std::string& message) {
  endVMoffsetTrial();
  errorState(message);
}

std::optional<std::pair<double, double>> Automation::Main::calibrateVMoffsetMeasureDataPoint(double I, double Q) {
  auto& calibration = _my.vectorModulator.dacOffset.calibration;
  auto& vectorSum = controller.vectorSum.daq.statistics;
  auto& offset = controller.vectorModulator.dacOffset;
  offset.I = dacValue(I);
  offset.Q = dacValue(controller.vectorModulator.qSign ? -Q : Q);
  offset.writeAll(false);

  // a switch-off request or an interlock ends the run: the controller gets the operator's offsets back first
  const auto endTrial = [this] { endVMoffsetTrial(); };
  for(int i = 0; i < 2; ++i) {
    if(waitForUpdatesOrAbort({server.triggerNumber.getId()}, endTrial)) return std::nullopt;
  }
  const auto averageNeeded = [&] {
    if(calibration.nTriggersAverage != 0) return false;
    failVMoffsetCalibration("VM offset calibration needs nTriggersAverage of at least 1.");
    return true;
  };
  if(averageNeeded()) return std::nullopt;
  double sumI = 0.0;
  double sumQ = 0.0;
  std::uint32_t count = 0;
  do {
    if(waitForUpdatesOrAbort({vectorSum.IAverage.getId(), vectorSum.QAverage.getId()}, endTrial)) return std::nullopt;
    sumI += vectorSum.IAverage;
    sumQ += vectorSum.QAverage;
    ++count;
  } while(count < calibration.nTriggersAverage);
  if(averageNeeded()) return std::nullopt;
  const double n = calibration.nTriggersAverage;
  return std::pair{sumI / n, sumQ / n};
}

void Automation::Main::calibrateVMoffset() {
  auto& calibration = _my.vectorModulator.dacOffset.calibration;
  logger(Corvane::Logger::Severity::debug) << "Calibrate vector modulator offset..." << std::endl;
  showMode(CURRENT_MODE::CALIBRATE_VM_OFFSET);
  if(waitTriggerOrAbort()) return;

  const double maxIandQ = calibration.maxIandQ;
  // a step of 0 measures nothing (the transform would divide 0 by 0)
  if(!std::isfinite(maxIandQ) || !(maxIandQ > 0.0)) {
    failVMoffsetCalibration("VM offset calibration needs a finite positive maxIandQ.");
    return;
  }
  if(calibration.nTriggersAverage == 0) {
    failVMoffsetCalibration("VM offset calibration needs nTriggersAverage of at least 1.");
    return;
  }
  logger(Corvane::Logger::Severity::debug) << separator << std::endl;
  logger(Corvane::Logger::Severity::debug) << "Determine coordinate transform..." << std::endl;
  logger(Corvane::Logger::Severity::debug) << "vmcalibMaxIandQ: " << maxIandQ << std::endl;
  const auto low = calibrateVMoffsetMeasureDataPoint(-maxIandQ * 0.5, -maxIandQ * 0.5);
  if(!low) return;
  const auto high = calibrateVMoffsetMeasureDataPoint(maxIandQ * 0.5, maxIandQ * 0.5);
  if(!high) return;
  const std::complex<double> delta(high->first - low->first, high->second - low->second);
  logger(Corvane::Logger::Severity::debug) << "Measured I = " << delta.real() << "  Q = " << delta.imag() << std::endl;
  const auto transform = AutomationNumerics::offsetTransform(delta, maxIandQ);
  logger(Corvane::Logger::Severity::debug) << "measuredDeltaAmpl = " << transform.measuredAmplitude << std::endl;
  logger(Corvane::Logger::Severity::debug) << "measuredDeltaPhase = " << degrees(transform.measuredPhase) << std::endl;
  logger(Corvane::Logger::Severity::debug) << "offsetAmpl = " << transform.offsetAmplitude << std::endl;
  logger(Corvane::Logger::Severity::debug) << "offsetPhase = " << degrees(transform.offsetPhase) << std::endl;
  logger(Corvane::Logger::Severity::debug) << "scale between systems: " << transform.scale << std::endl;
  logger(Corvane::Logger::Severity::debug) << "angle between systems: " << degrees(transform.angle) << std::endl;
  // a vector sum that did not move (or a trace that is not a number) gives no direction to correct in
  if(!std::isfinite(transform.scale) || !std::isfinite(transform.angle)) {
    failVMoffsetCalibration("VM offset calibration failed: the vector sum does not follow the DAC offsets.");
    return;
  }

  offsetCorrectionI = 0.0;
  offsetCorrectionQ = 0.0;
  if(calibration.maxIterations == 0) {
    failVMoffsetCalibration(notConverged);
    return;
  }
  for(std::uint32_t iteration = 0;;) {
    logger(Corvane::Logger::Severity::debug) << separator << std::endl;
    logger(Corvane::Logger::Severity::debug) << "Iteration " << iteration << std::endl;
    logger(Corvane::Logger::Severity::debug) << "Measuring: " << offsetCorrectionI << " " << offsetCorrectionQ << std::endl;
    const auto measured = calibrateVMoffsetMeasureDataPoint(offsetCorrectionI, offsetCorrectionQ);
    if(!measured) return;
    const auto [mI, mQ] = *measured;
    logger(Corvane::Logger::Severity::debug) << "Measured I = " << mI << "  Q = " << mQ << std::endl;
    const double amplitude = std::sqrt(mI * mI + mQ * mQ);
    const double phase = std::atan2(mQ, mI);
    const double amplitudeInOffset = transform.scale * amplitude;
    const double phaseInOffset = transform.angle + phase;
    logger(Corvane::Logger::Severity::debug) << "measuredAmpl: " << amplitude << std::endl;
    logger(Corvane::Logger::Severity::debug) << "measuredPhase: " << degrees(phase) << std::endl;
    logger(Corvane::Logger::Severity::debug) << "measuredAmplInOffset: " << amplitudeInOffset << std::endl;
    logger(Corvane::Logger::Severity::debug) << "measuredPhaseInOffset: " << degrees(phaseInOffset) << std::endl;

    if(calibration.maxAmplitudeAfterCalibration > amplitude) {
      auto& operatorOffset = _my.vectorModulator.dacOffset;
      operatorOffset.I = dacValue(offsetCorrectionI);
      operatorOffset.Q = dacValue(offsetCorrectionQ);
      operatorOffset.writeAll(true);
      offsetCorrectionI = 0.0;
      offsetCorrectionQ = 0.0;
      passThroughVMoffset();
      setRequest(MODE_REQUEST::SWITCH_OFF);
      return;
    }
    offsetCorrectionI += amplitudeInOffset * std::cos(phaseInOffset);
    offsetCorrectionQ += amplitudeInOffset * std::sin(phaseInOffset);
    if(!inRange(offsetCorrectionI, maxIandQ) || !inRange(offsetCorrectionQ, maxIandQ)) {
      failVMoffsetCalibration("VM offset calibration failed: out of range: \n" +
          printed("I = %f, Q = %f", offsetCorrectionI, offsetCorrectionQ));
      return;
    }
    ++iteration;
    if(iteration >= calibration.maxIterations) {
      failVMoffsetCalibration(notConverged);
      return;
    }
  }
}
