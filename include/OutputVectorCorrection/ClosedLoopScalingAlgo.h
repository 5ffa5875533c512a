// Closed-loop loop-gain correction: the measured loop gain is the amplitude of the total output (feed-forward plus
// feedback) over that of the feed-forward table; the calibration scale follows it by the gain. It waits while the
// loop phase error is larger than maxLoopPhaseError.
#pragma once

#include "OutputVectorCorrection/ScalingRotationAlgoBase.h"

#include <Corvane/ScalarAccessor.h>

namespace OutputVectorCorrection::ClosedLoopAlgorithm {

  class ScalingAlgo : public ScalingRotationAlgoBase {
   public:
    using ScalingRotationAlgoBase::ScalingRotationAlgoBase;

    bool isEnabled() override;
    void computeAverage() override;
    void compute() override;

    Corvane::ScalarPollInput<double> maxLoopPhaseError{this, "maxLoopPhaseError", "deg",
        "Maximum allowed loop phase error (Rotation/dPhase) for this algorithm to run"};
    Corvane::ScalarOutput<double> totalFeed{
        this, "totalFeed", "", "Averaged amplitude of total feedforward + feedback signal"};
    Corvane::ScalarOutput<double> feedForward{this, "feedForward", "", "Averaged amplitude of feed forward signal"};
    Corvane::ScalarOutput<double> currentScaling{this, "currentScaling", "", "Measured loop gain"};
  };

} // namespace OutputVectorCorrection::ClosedLoopAlgorithm
