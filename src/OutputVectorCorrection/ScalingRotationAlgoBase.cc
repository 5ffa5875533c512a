#include "OutputVectorCorrection/ScalingRotationAlgoBase.h"

#include "OutputVectorCorrection/OVCMain.h"

namespace OutputVectorCorrection::ClosedLoopAlgorithm {

  bool ScalingRotationAlgoBase::needAverage() {
    const auto& loop = ovc->closedLoop;
    return ovc->enable && ovc->closedLoopActive && (loop.scaling.enable || loop.rotation.enable || loop.ratio.enable);
  }

  void ScalingRotationAlgoBase::integrate() {
    if(!needAverage()) return;
    if(sampleCount == 0) {
      totalFeedSum = 0.0;
      tableSum = 0.0;
    }
    const std::uint32_t start = averagingWindow.startIndex;
    const std::uint32_t end = averagingWindow.endIndex;
    if(start > end) return;
    const auto& c = ovc->controller;
    const auto& ff = c.feedForward.daq;
    const auto& fb = c.feedBackOutput;
    const auto& table = c.feedForward.table;
    for(std::uint32_t k = start; k <= end; ++k) {
      // feed-forward and feedback add in single precision, as the firmware's output does
      const float i = ff.I[k] + fb.I[k];
      const float q = ff.Q[k] + fb.Q[k];
      totalFeedSum += std::complex<double>{i, q};
      tableSum += std::complex<double>{table.I[k], table.Q[k]};
    }
    sampleCount += std::uint64_t{end} - start + 1;
  }

  void ScalingRotationAlgoBase::averageSums() {
    const auto n = static_cast<double>(sampleCount);
    totalFeedSum /= n;
    tableSum /= n;
    sampleCount = 0;
  }

} // namespace OutputVectorCorrection::ClosedLoopAlgorithm
