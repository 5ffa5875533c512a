// Open-loop flat-top/filling ratio correction: corrects the ratio by the difference between the relative
// amplitude error in its own window and that in the scaling algorithm's window.
#pragma once

#include "OutputVectorCorrection/AmplitudeBasedAlgo.h"

namespace OutputVectorCorrection::OpenLoopAlgorithm {

  class RatioAlgo : public AmplitudeBasedAlgo {
   public:
    using AmplitudeBasedAlgo::AmplitudeBasedAlgo;
    void compute() override;
  };

} // namespace OutputVectorCorrection::OpenLoopAlgorithm
