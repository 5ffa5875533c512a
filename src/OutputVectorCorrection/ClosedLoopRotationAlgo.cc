#include "OutputVectorCorrection/ClosedLoopRotationAlgo.h"

#include "OutputVectorCorrection/OVCMain.h"
#include "tools.h"

#include <numbers>

namespace OutputVectorCorrection::ClosedLoopAlgorithm {

  void RotationAlgo::computeAverage() {
    if(!needAverage()) return;
    averageSums();
    constexpr double toDegrees = 180.0 / std::numbers::pi;
    totalFeed = std::arg(totalFeedSum) * toDegrees;
    feedForward = std::arg(tableSum) * toDegrees;
    dPhase = tools::canonicalPhaseDefinition(feedForward - totalFeed);
    totalFeed.write();
    feedForward.write();
    dPhase.write();
  }

  void RotationAlgo::compute() {
    if(!isEnabled() || !usable(dPhase, "ClosedLoop::RotationAlgo::delta")) return;
    auto& angle = ovc->controller.output.calibration.angle;
    angle = tools::canonicalPhaseDefinition(angle - dPhase * gain);
  }

} // namespace OutputVectorCorrection::ClosedLoopAlgorithm
