#include "OutputVectorCorrection/OpenLoopScalingAlgo.h"

#include "OutputVectorCorrection/OVCMain.h"

namespace OutputVectorCorrection::OpenLoopAlgorithm {

  void ScalingAlgo::compute() {
    if(!isEnabled() || !usable(dAmplitude, "Scaling dAmplitude")) return;
    auto& scale = ovc->controller.output.calibration.scale;
    scale = scale * (1.0 - dAmplitude * gain);
  }

} // namespace OutputVectorCorrection::OpenLoopAlgorithm
