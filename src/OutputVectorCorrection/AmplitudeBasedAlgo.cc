#include "OutputVectorCorrection/AmplitudeBasedAlgo.h"

#include "OutputVectorCorrection/OVCMain.h"

#include <complex>

namespace OutputVectorCorrection::OpenLoopAlgorithm {

  void AmplitudeBasedAlgo::integrate() {
    if(!needAverage()) return;
    if(sampleCount == 0) {
      _vectorSumSum = 0.0;
      _setPointSum = 0.0;
      _errorSum = 0.0;
    }
    const std::uint32_t start = averagingWindow.startIndex;
    const std::uint32_t end = averagingWindow.endIndex;
    if(start > end) return;
    const auto& vs = ovc->controller.vectorSum.daq;
    const auto& error = ovc->controller.error.daq;
    for(std::uint32_t k = start; k <= end; ++k) {
      const std::complex<double> v{vs.I[k], vs.Q[k]};
      const std::complex<double> e{error.I[k], error.Q[k]};
      _vectorSumSum += std::abs(v);
      _setPointSum += std::abs(v + e);
      _errorSum += std::abs(e);
    }
    sampleCount += std::uint64_t{end} - start + 1;
  }

  void AmplitudeBasedAlgo::computeAverage() {
    if(!needAverage()) return;
    const auto n = static_cast<double>(sampleCount);
    vectorSum = _vectorSumSum / n;
    setPoint = _setPointSum / n;
    errorAmplitude = _errorSum / n;
    dAmplitude = 1.0 - setPoint / vectorSum;
    sampleCount = 0;
    vectorSum.write();
    setPoint.write();
    errorAmplitude.write();
    dAmplitude.write();
  }

} // namespace OutputVectorCorrection::OpenLoopAlgorithm
