#include "OutputVectorCorrection/ClosedLoopRatioAlgo.h"

#include "OutputVectorCorrection/OVCMain.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace OutputVectorCorrection::ClosedLoopAlgorithm {

  RatioAlgo::RatioAlgo(Corvane::Module* owner, OVCMain& ovc, const std::string& name, const std::string& description)
  : ClosedLoopSubAlgo<SubAlgo>(owner, ovc, name, description),
    averagingWindowFilling(this, ovc, "AveragingWindowFilling", "Window for averaging input values in filling"),
    averagingWindowFlattop(this, ovc, "AveragingWindowFlattop", "Window for averaging input values in flattop") {}

  bool RatioAlgo::isEnabled() {
    const auto& loop = ovc->closedLoop;
    if(std::abs(loop.rotation.dPhase) > maxLoopPhaseError) return false;
    if(std::abs(loop.scaling.currentScaling - 1.0) > maxLoopGainError) return false;
    return ClosedLoopSubAlgo<SubAlgo>::isEnabled();
  }

  bool RatioAlgo::integrateWindow(
      const AveragingWindow& window, double& sum, std::uint64_t& count, double c, double s) {
    if(count == 0) sum = 0.0;
    const std::uint32_t start = window.startIndex;
    const std::uint32_t end = window.endIndex;
    if(start > end) return false;
    const auto& ctrl = ovc->controller;
    const auto& ff = ctrl.feedForward.daq;
    const auto& fb = ctrl.feedBackOutput;
    const auto& table = ctrl.feedForward.table;
    for(std::uint32_t k = start; k <= end; ++k) {
      const double dI = double(ff.I[k]) + double(fb.I[k]) - table.I[k];
      const double dQ = double(ff.Q[k]) + double(fb.Q[k]) - table.Q[k];
      sum += dI * c + dQ * s;
    }
    count += std::uint64_t{end} - start + 1;
    return true;
  }

  void RatioAlgo::integrate() {
    if(!needAverage()) return;
    const double phi = ovc->controller.setPoint.phase * std::numbers::pi / 180.0;
    const double c = std::cos(phi);
    const double s = std::sin(phi);
    integrateWindow(averagingWindowFilling, _fillingSum, _fillingCount, c, s);
    integrateWindow(averagingWindowFlattop, _flattopSum, _flattopCount, c, s);
  }

  void RatioAlgo::computeAverage() {
    if(!needAverage()) return;
    ffTotalCorrectionFilling = _fillingSum / static_cast<double>(_fillingCount);
    ffTotalCorrectionFlattop = _flattopSum / static_cast<double>(_flattopCount);
    _fillingCount = 0;
    _flattopCount = 0;
    ffTotalCorrectionFilling.write();
    ffTotalCorrectionFlattop.write();
    const auto& table = ovc->controller.feedForward.table;
    double maximum = 0.0;
    for(std::size_t k = 0; k < ovc->pulseLength; ++k) {
      maximum = std::max(maximum, std::abs(std::complex<double>{table.I[k], table.Q[k]}));
    }
    ffAmplitudeMaximum = maximum;
    ffAmplitudeMaximum.write();
  }

  void RatioAlgo::compute() {
    if(!isEnabled()) return;
    if(!usable(ffTotalCorrectionFilling, "ClosedLoop::RatioAlgo::ffTotalCorrectionFilling")) return;
    if(!usable(ffTotalCorrectionFlattop, "ClosedLoop::RatioAlgo::ffTotalCorrectionFlattop")) return;
    // an all-zero feed-forward table says nothing about the ratio; dividing by it would drive the ratio to a limit
    if(!usable(ffAmplitudeMaximum, "ClosedLoop::RatioAlgo::ffAmplitudeMaximum")) return;
    if(ffAmplitudeMaximum == 0.0) {
      ovc->setError("ClosedLoop::RatioAlgo::ffAmplitudeMaximum is 0, ratio not corrected",
          Corvane::StatusOutput::WARNING);
      return;
    }
    auto& ratio = ovc->controller.feedForward.flattopRatio;
    ratio = ratio - (ffTotalCorrectionFilling - ffTotalCorrectionFlattop) * gain / ffAmplitudeMaximum;
    ovc->applyLimitAndWriteRatio();
  }

} // namespace OutputVectorCorrection::ClosedLoopAlgorithm
