// Closed-loop loop-phase correction: turns the calibration by the phase difference between the feed-forward
// table and the total output (feed-forward plus feedback), times the gain.
#pragma once

#include "OutputVectorCorrection/ScalingRotationAlgoBase.h"

#include <Corvane/ScalarAccessor.h>

namespace OutputVectorCorrection::ClosedLoopAlgorithm {

  class RotationAlgo : public ScalingRotationAlgoBase {
   public:
    using ScalingRotationAlgoBase::ScalingRotationAlgoBase;

    void computeAverage() override;
    void compute() override;

    Corvane::ScalarOutput<double> totalFeed{
        this, "totalFeed", "deg", "Averaged phase of total feedforward + feedback signal"};
    Corvane::ScalarOutput<double> feedForward{this, "feedForward", "deg", "Averaged phase of feed forward signal"};
    Corvane::ScalarOutput<double> dPhase{this, "dPhase", "deg", "Difference of feed-forward and total feed phases"};
  };

} // namespace OutputVectorCorrection::ClosedLoopAlgorithm
