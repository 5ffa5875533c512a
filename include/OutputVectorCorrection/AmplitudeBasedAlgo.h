// Open-loop amplitude averages over the window: of the calibrated vector sum v, of the set point v + e (e the
// controller error) and of the error, and dAmplitude = 1 - setPoint/vectorSum, the relative amplitude error.
#pragma once

#include "OutputVectorCorrection/OpenLoopSubAlgo.h"

#include <Corvane/ScalarAccessor.h>

namespace OutputVectorCorrection::OpenLoopAlgorithm {

  class AmplitudeBasedAlgo : public OpenLoopSubAlgo {
   public:
    using OpenLoopSubAlgo::OpenLoopSubAlgo;

    void integrate() override;
    void computeAverage() override;

    Corvane::ScalarOutput<double> vectorSum{this, "vectorSum", "", "Averaged vector sum amplitude"};
    Corvane::ScalarOutput<double> setPoint{this, "setPoint", "", "Averaged set point amplitude"};
    Corvane::ScalarOutput<double> errorAmplitude{this, "errorAmplitude", "", "Averaged controller error amplitude"};
    Corvane::ScalarOutput<double> dAmplitude{
        this, "dAmplitude", "", "Relative difference of setpoint and vector sum amplitudes"};

   private:
    double _vectorSumSum{0.0};
    double _setPointSum{0.0};
    double _errorSum{0.0};
  };

} // namespace OutputVectorCorrection::OpenLoopAlgorithm
