// Closed-loop feed sums shared by the scaling and the rotation algorithm: the average over the window of what the
// controller outputs (feed-forward plus feedback DAQ) and of its feed-forward table. Both average while the
// module is enabled in closed loop and any closed-loop scaling, rotation or ratio algorithm is enabled, since the
// ratio algorithm's gates read their results.
#pragma once

#include "OutputVectorCorrection/ClosedLoopSubAlgo.h"

#include <complex>

namespace OutputVectorCorrection::ClosedLoopAlgorithm {

  class ScalingRotationAlgoBase : public ClosedLoopSubAlgo<SubAlgoAW> {
   public:
    using ClosedLoopSubAlgo<SubAlgoAW>::ClosedLoopSubAlgo;

    bool needAverage() override;
    void integrate() override;

   protected:
    /// Turns the sums into averages (totalFeedSum, tableSum) and restarts the count.
    void averageSums();

    std::complex<double> totalFeedSum{};
    std::complex<double> tableSum{};
  };

} // namespace OutputVectorCorrection::ClosedLoopAlgorithm
