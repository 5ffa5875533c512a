#include "OutputVectorCorrection/ClosedLoopScalingAlgo.h"

#include "OutputVectorCorrection/OVCMain.h"

#include <cmath>

namespace OutputVectorCorrection::ClosedLoopAlgorithm {

  bool ScalingAlgo::isEnabled() {
    auto& rotation = ovc->closedLoop.rotation;
    if(std::abs(rotation.dPhase) > maxLoopPhaseError) {
      if(!rotation.isEnabled()) {
        ovc->setError("ScalingAlgo waiting for disabled RotationAlgo.", Corvane::StatusOutput::WARNING);
      }
      return false;
    }
    return ClosedLoopSubAlgo<SubAlgoAW>::isEnabled();
  }

  void ScalingAlgo::computeAverage() {
    if(!needAverage()) return;
    averageSums();
    totalFeed = std::abs(totalFeedSum);
    feedForward = std::abs(tableSum);
    currentScaling = totalFeed / feedForward;
    totalFeed.write();
    feedForward.write();
    currentScaling.write();
  }

  void ScalingAlgo::compute() {
    if(!isEnabled() || !usable(currentScaling, "ClosedLoop::ScalingAlgo::currentScaling")) return;
    auto& scale = ovc->controller.output.calibration.scale;
    scale = ((currentScaling - 1.0) * gain + 1.0) * scale;
  }

} // namespace OutputVectorCorrection::ClosedLoopAlgorithm
