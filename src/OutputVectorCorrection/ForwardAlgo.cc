#include "OutputVectorCorrection/ForwardAlgo.h"

#include "OutputVectorCorrection/OVCMain.h"
#include "tools.h"

#include <cmath>
#include <numbers>

namespace OutputVectorCorrection::ClosedLoopAlgorithm {

  namespace {
    constexpr double toDegrees = 180.0 / std::numbers::pi;
    constexpr double smallestAmplification = 1e-6;
  } // namespace

  ForwardAlgo::ForwardAlgo(
      Corvane::Module* owner, OVCMain& ovc, const std::string& name, const std::string& description)
  : ClosedLoopSubAlgo<SubAlgoAW>(owner, ovc, name, description),
    referencePoint(this, "ReferencePoint", "Reference point for the forward OVC") {}

  void ForwardAlgo::integrate() {
    if(sampleCount == 0) _amplificationSum = 0.0;
    const auto& c = ovc->controller;
    const double scale = c.output.calibration.scale;
    const double angle = c.output.calibration.angle * std::numbers::pi / 180.0;
    const std::uint32_t start = averagingWindow.startIndex;
    const std::uint32_t end = averagingWindow.endIndex;
    if(end < start) return;
    const auto offsetI = static_cast<double>(c.vectorModulator.dacOffset.I.value());
    const auto offsetQ = static_cast<double>(c.vectorModulator.dacOffset.Q.value());
    const bool invertQ = c.vectorModulator.qSign;
    const std::complex<double> rotation{std::cos(angle), std::sin(angle)};
    const double bitScaling = ovc->configuration.bitScaling;
    const auto& total = c.output.total.daq;
    const auto& forwardSum = ovc->forwardVectorSum;
    for(std::uint32_t k = start; k <= end; ++k) {
      double q = total.Q[k] - offsetQ;
      if(invertQ) q = -q;
      const std::complex<double> drive = std::complex<double>{total.I[k] - offsetI, q} / scale * rotation;
      std::complex<double> forward{forwardSum.I[k], forwardSum.Q[k]};
      if(ovc->isMaster) forward += std::complex<double>{forwardSum.fromSlave.I[k], forwardSum.fromSlave.Q[k]};
      forward *= bitScaling;
      _amplificationSum += forward / drive;
    }
    sampleCount += std::uint64_t{end} - start + 1;
  }

  void ForwardAlgo::computeAverage() {
    _amplificationAverage = _amplificationSum / static_cast<double>(sampleCount);
    _amplificationSum = _amplificationAverage;
    sampleCount = 0;
    amplification = std::abs(_amplificationAverage);
    phaseDifference = std::arg(_amplificationAverage) * toDegrees;
    delta = std::abs(_amplificationAverage / referencePoint.reference - 1.0);
    amplification.write();
    phaseDifference.write();
    delta.write();
  }

  void ForwardAlgo::storeReference() {
    referencePoint.reference = _amplificationAverage;
    referencePoint.amplification = amplification.value();
    referencePoint.phaseDifference = phaseDifference.value();
    referencePoint.writeAll(false);
  }

  void ForwardAlgo::compute() {
    if(!isEnabled()) return;
    if(std::isnan(delta)) {
      ovc->setError("Ratio dAmplitude is NaN", Corvane::StatusOutput::WARNING);
      return;
    }
    if(!(referencePoint.amplification >= smallestAmplification)) {
      ovc->setError("Error: store reference point first!", Corvane::StatusOutput::WARNING);
      return;
    }
    if(std::abs(_amplificationAverage) < smallestAmplification) {
      ovc->setError("Error: Zero amplification, no forward signal?", Corvane::StatusOutput::WARNING);
      return;
    }
    const auto& reference = referencePoint.reference;
    const double g = (std::abs(_amplificationAverage) / std::abs(reference) - 1.0) * gain;
    auto& calibration = ovc->controller.output.calibration;
    calibration.scale = calibration.scale * (1.0 - g);
    calibration.angle = tools::canonicalPhaseDefinition(
        (std::arg(_amplificationAverage) - std::arg(reference)) * toDegrees * gain + calibration.angle);
  }

} // namespace OutputVectorCorrection::ClosedLoopAlgorithm
