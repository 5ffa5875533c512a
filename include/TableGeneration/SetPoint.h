// The set-point sub-algorithm: the RF field's set-point for every sample of the
// pulse. So far it holds the inputs the pulse shape and the phase rule read
// (phase, phase slope and filling delta, the table delay, the smoothing
// switch); amplitudes, limits, corrections, the table computation and its
// checks join it with their implementation.
#pragma once

#include "TableGeneration/PhaseModulatingSubAlgo.h"

#include <Corvane/ScalarAccessor.h>

namespace TableGeneration {

  class SetPoint : public PhaseModulatingSubAlgo {
   public:
    using PhaseModulatingSubAlgo::PhaseModulatingSubAlgo;

    Corvane::ScalarPushInputWB<double> phase{this, "phase", "deg", "Phase"};
    Corvane::ScalarPushInputWB<double> phaseSlope{this, "phaseSlope", "deg/flattop", "Phase slope"};
    Corvane::ScalarPushInputWB<double> phaseFillingDelta{this, "phaseFillingDelta", "deg",
        "Phase difference between filling and flattop. Positive values make the "
        "phase during filling larger, "
        "resulting in a negative phase jump at the end of the filling period."};
    Corvane::ScalarPushInputWB<double> delay{this, "delay", "us",
        "Extra delay to shift the setpoint table w.r.t. other tables. (Do not "
        "confuse with PulseShape/delay) "};
    Corvane::ScalarPushInput<Corvane::Boolean> smoothEnable{this, "smoothEnable", "",
        "If true, the set point tables will be computed from (potentially "
        "smoothed) feed-forward table"};
  };

} // namespace TableGeneration
