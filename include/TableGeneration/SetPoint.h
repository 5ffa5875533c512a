// The set-point sub-algorithm: the RF field's set-point for every sample of the
// pulse. So far it holds the inputs the pulse shape, the phase rule and the
// per-bunch set-points read or write (amplitude and power, phase, slopes and
// filling delta, the operational amplitude limit, the table delay, the
// smoothing switch, the power scaling); the absolute limit, corrections, the
// table computation and its checks join it with their implementation.
#pragma once

#include "TableGeneration/PhaseModulatingSubAlgo.h"

#include <Corvane/ScalarAccessor.h>

namespace TableGeneration {

  class SetPoint : public PhaseModulatingSubAlgo {
   public:
    using PhaseModulatingSubAlgo::PhaseModulatingSubAlgo;

    Corvane::ScalarPushInputWB<double> amplitude{this, "amplitude", "G.U.", "Amplitude"};
    Corvane::ScalarPushInputWB<double> power{this, "power", "P.U.", "Power"};
    Corvane::ScalarPushInputWB<double> phase{this, "phase", "deg", "Phase"};
    Corvane::ScalarPushInputWB<double> amplitudeSlope{this, "amplitudeSlope", "G.U./flattop", "Amplitude slope"};
    Corvane::ScalarPushInputWB<double> phaseSlope{this, "phaseSlope", "deg/flattop", "Phase slope"};
    Corvane::ScalarPushInputWB<double> phaseFillingDelta{this, "phaseFillingDelta", "deg",
        "Phase difference between filling and flattop. Positive values make the "
        "phase during filling larger, "
        "resulting in a negative phase jump at the end of the filling period."};
    Corvane::ScalarPushInputWB<double> amplitudeLimitOperational{
        this, "amplitudeLimitOperational", "G.U.", "Operational limit of the setpoint amplitude."};
    Corvane::ScalarPushInputWB<double> delay{this, "delay", "us",
        "Extra delay to shift the setpoint table w.r.t. other tables. (Do not "
        "confuse with PulseShape/delay) "};
    Corvane::ScalarPushInput<Corvane::Boolean> smoothEnable{this, "smoothEnable", "",
        "If true, the set point tables will be computed from (potentially "
        "smoothed) feed-forward table"};
    Corvane::ScalarPushInputWB<double> powerScaling{this, "powerScaling", "G.U.^2/P.U.", "Power scaling"};
  };

} // namespace TableGeneration
