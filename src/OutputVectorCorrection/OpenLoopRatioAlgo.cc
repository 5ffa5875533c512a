#include "OutputVectorCorrection/OpenLoopRatioAlgo.h"

#include "OutputVectorCorrection/OVCMain.h"

namespace OutputVectorCorrection::OpenLoopAlgorithm {

  void RatioAlgo::compute() {
    if(!isEnabled()) return;
    const double s = ovc->openLoop.scaling.dAmplitude;
    const double r = dAmplitude;
    if(!usable(s, "Scaling dAmplitude") || !usable(r, "Ratio dAmplitude")) return;
    auto& ratio = ovc->controller.feedForward.flattopRatio;
    ratio = ratio * (1.0 - (r - s) * gain);
    ovc->applyLimitAndWriteRatio();
  }

} // namespace OutputVectorCorrection::OpenLoopAlgorithm
