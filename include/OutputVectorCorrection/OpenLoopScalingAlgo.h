// Open-loop amplitude correction: scales the output calibration by 1 - dAmplitude x gain. It averages in every
// state, because the module's activity threshold and the open-loop ratio algorithm read its averages.
#pragma once

#include "OutputVectorCorrection/AmplitudeBasedAlgo.h"

namespace OutputVectorCorrection::OpenLoopAlgorithm {

  class ScalingAlgo : public AmplitudeBasedAlgo {
   public:
    using AmplitudeBasedAlgo::AmplitudeBasedAlgo;
    bool needAverage() override { return true; }
    void compute() override;
  };

} // namespace OutputVectorCorrection::OpenLoopAlgorithm
