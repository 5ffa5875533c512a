// Open-loop phase correction: turns the output calibration by the circular-mean phase difference of set point
// and vector sum in its window, times the gain.
#pragma once

#include "OutputVectorCorrection/OpenLoopSubAlgo.h"
#include "OutputVectorCorrection/PhaseAccumulator.h"

#include <Corvane/ScalarAccessor.h>

namespace OutputVectorCorrection::OpenLoopAlgorithm {

  class RotationAlgo : public OpenLoopSubAlgo {
   public:
    using OpenLoopSubAlgo::OpenLoopSubAlgo;

    void integrate() override;
    void computeAverage() override;
    void compute() override;

    Corvane::ScalarOutput<double> vectorSum{this, "vectorSum", "deg", "Averaged vector sum phase"};
    Corvane::ScalarOutput<double> setPoint{this, "setPoint", "deg", "Averaged set point phase"};
    Corvane::ScalarOutput<double> errorAmplitude{this, "errorAmplitude", "", "Averaged controller error amplitude"};
    Corvane::ScalarOutput<double> dPhase{this, "dPhase", "deg", "Difference of setpoint and vector sum phases"};

   private:
    PhaseAccumulator _vectorSumPhases;
    PhaseAccumulator _setPointPhases;
    double _errorSum{0.0};
  };

} // namespace OutputVectorCorrection::OpenLoopAlgorithm
