#include "OutputVectorCorrection/OpenLoopRotationAlgo.h"

#include "OutputVectorCorrection/OVCMain.h"
#include "tools.h"

#include <cmath>
#include <complex>
#include <numbers>

namespace OutputVectorCorrection::OpenLoopAlgorithm {

  void RotationAlgo::integrate() {
    if(!needAverage()) return;
    if(sampleCount == 0) {
      _vectorSumPhases.reset();
      _setPointPhases.reset();
      _errorSum = 0.0;
    }
    const std::uint32_t start = averagingWindow.startIndex;
    const std::uint32_t end = averagingWindow.endIndex;
    if(start > end) return;
    constexpr double toDegrees = 180.0 / std::numbers::pi;
    const auto& vs = ovc->controller.vectorSum.daq;
    const auto& error = ovc->controller.error.daq;
    for(std::uint32_t k = start; k <= end; ++k) {
      const std::complex<double> v{vs.I[k], vs.Q[k]};
      const std::complex<double> e{error.I[k], error.Q[k]};
      _vectorSumPhases.add(std::arg(v) * toDegrees);
      _setPointPhases.add(std::arg(v + e) * toDegrees);
      _errorSum += std::abs(e);
      ++sampleCount;
    }
  }

  void RotationAlgo::computeAverage() {
    if(!needAverage()) return;
    vectorSum = _vectorSumPhases.mean();
    setPoint = _setPointPhases.mean();
    errorAmplitude = _errorSum / static_cast<double>(sampleCount);
    sampleCount = 0;
    dPhase = tools::canonicalPhaseDefinition(setPoint - vectorSum);
    vectorSum.write();
    setPoint.write();
    errorAmplitude.write();
    dPhase.write();
  }

  void RotationAlgo::compute() {
    if(!isEnabled() || !usable(dPhase, "Rotation dPhase")) return;
    auto& angle = ovc->controller.output.calibration.angle;
    angle = tools::canonicalPhaseDefinition(angle + dPhase * gain);
  }

} // namespace OutputVectorCorrection::OpenLoopAlgorithm
