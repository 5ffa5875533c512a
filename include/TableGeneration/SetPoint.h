// The set-point sub-algorithm: the RF field's set-point for every sample of the
// pulse, as one amplitude and one phase array ("/Controller/SetPoint/Table").
// During the filling the amplitude follows the cavity's charging curve, or,
// with smoothEnable, a simulation of the cavity driven by the feed-forward
// amplitude (falling back to the charging curve, with a message, when that
// simulation cannot reach the set amplitude); during the flat-top it is the
// amplitude plus its slope, or the per-bunch tables joined by transitions
// (SetPointAmplitude.h); after it zero. The phase of every sample comes from the
// common phase rule.
//
// Amplitude and power are coupled: a new amplitude or power scaling writes the
// power, a new power writes the amplitude it implies, which must pass the
// amplitude rules (else the power is refused and written back). A phase
// rotation turns the phase by the received angle once. Non-finite phases,
// slopes, filling deltas and rotations are refused.
#pragma once

#include "TableGeneration/GeneratedTable.h"
#include "TableGeneration/PerBunchFlattop.h"
#include "TableGeneration/PhaseModulatingSubAlgo.h"

#include <Corvane/ArrayAccessor.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/TransferElementID.h>
#include <Corvane/VariableGroup.h>
#include <Corvane/VariableTags.h>

#include <cstdint>
#include <string>

namespace TableGeneration {

  class SetPoint : public PhaseModulatingSubAlgo {
   public:
    using PhaseModulatingSubAlgo::PhaseModulatingSubAlgo;

    /// The operator's integer correction of the set-point I/Q table.
    class Correction : public Corvane::VariableGroup {
     public:
      Correction(Corvane::Module* owner, const std::string& name, const std::string& description);
      std::uint32_t pulseLength;
      Corvane::ScalarPushInput<Corvane::Boolean> enable{
          this, "enable", "", "If true, the set point correction tables will be used"};
      Corvane::ArrayPushInput<std::int32_t> I{this, "I", "digits", pulseLength, "Set point correction table for I"};
      Corvane::ArrayPushInput<std::int32_t> Q{this, "Q", "digits", pulseLength, "Set point correction table for Q"};
    };

    /// The generated amplitude and phase arrays.
    using Tables = GeneratedTable;

    /// Registers the fallbacks and checks of the set-point inputs with the module's validator.
    void prepare() override;

    /// Couples amplitude and power and executes phase rotations, after the
    /// module's validator has checked `change` (empty at start: nothing).
    void updateParameters(const Corvane::TransferElementID& change);

    void clearTables();
    /// Both arrays; reads the feed-forward amplitude (simulated filling).
    void computeAfterFeedForward(const PerBunchFlattop& perBunch);
    /// Amplitude, then phase, each destructively.
    void writeTables();

    void computeSetpointFillingAmplitude();
    void computeSetpointFillingFromFFAmplitude();
    void computeSetpointFlattopAmplitude();
    void computeSetpointFlattopFromPerBunchTable(const PerBunchFlattop& perBunch);

    /// Reported when the simulated filling cannot be scaled to the amplitude.
    static constexpr const char* simulatedFillingFallbackMessage =
        "Simulated filling ends at zero (no feed-forward drive during the filling): the setpoint filling follows "
        "the charging curve instead.";

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
    Corvane::ScalarPushInputWB<double> amplitudeLimitAbsolute{
        this, "amplitudeLimitAbsolute", "G.U.", "Limit for the operational setpoint amplitude limit."};
    Corvane::ScalarPushInputWB<double> delay{this, "delay", "us",
        "Extra delay to shift the setpoint table w.r.t. other tables. (Do not "
        "confuse with PulseShape/delay) "};
    Corvane::ScalarPushInput<Corvane::Boolean> smoothEnable{this, "smoothEnable", "",
        "If true, the set point tables will be computed from (potentially "
        "smoothed) feed-forward table"};
    Corvane::ScalarPushInput<double> performPhaseRotation{this, "performPhaseRotation", "deg",
        "Command: Rotate all setpoint phases by the received value", {Corvane::Tags::command}};
    Corvane::ScalarPushInputWB<double> powerScaling{this, "powerScaling", "G.U.^2/P.U.", "Power scaling"};
    Correction correction{this, "Correction", ""};
    Tables table{this, "Table", "Output tables"};

   private:
    /// The amplitude implied by a new power, if it passes the amplitude rules;
    /// otherwise the power returns to the one of the amplitude in force.
    void takePower();
    /// The field decay rate per sample from the configuration inputs.
    double decayRate() const;
  };

} // namespace TableGeneration
