// The feed-forward sub-algorithm: the drive that the controller plays out
// during the pulse, as one amplitude and one phase per sample
// ("/Controller/FeedForward/Table/amplitude" and "phase"). The amplitude
// follows the set-point amplitude during the filling and that amplitude times
// the flat-top ratio during the flat-top, with optionally smoothed edges
// (FeedForwardAmplitude.h); the phase of every sample comes from the common
// phase rule. With per-bunch set-points in force the flat-top is taken from the
// set-point table instead. The I/Q tables turn the arrays into the generated
// feed-forward table.
#pragma once

#include "TableGeneration/GeneratedTable.h"
#include "TableGeneration/PerBunchFlattop.h"
#include "TableGeneration/PhaseModulatingSubAlgo.h"

#include <Corvane/ScalarAccessor.h>
#include <Corvane/VariableGroup.h>

#include <cstdint>

namespace TableGeneration {

  class FeedForward : public PhaseModulatingSubAlgo {
   public:
    using PhaseModulatingSubAlgo::PhaseModulatingSubAlgo;

    class Smooth : public Corvane::VariableGroup {
     public:
      using Corvane::VariableGroup::VariableGroup;
      Corvane::ScalarPushInputWB<std::int32_t> riseFunction{
          this, "riseFunction", "", "Function select for rising edge. 0: off, 1: sine, 2: linear"};
      Corvane::ScalarPushInputWB<std::int32_t> stepFunction{
          this, "stepFunction", "", "Function select for inner transitions. 0: off, 1: sine, 2: linear"};
      Corvane::ScalarPushInputWB<std::int32_t> fallFunction{
          this, "fallFunction", "", "Function select for falling edge. 0: off, 1: sine, 2: linear"};
      Corvane::ScalarPushInputWB<double> riseTime{this, "riseTime", "us", "Time (relative to delay) for rising smooth"};
      Corvane::ScalarPushInputWB<double> stepTime{
          this, "stepTime", "us", "Time (relative to fill to flattop step time) for step smooth"};
      Corvane::ScalarPushInputWB<double> fallTime{
          this, "fallTime", "us", "Time (relative to end of flattop time) for fall smooth"};
    };

    /// The generated amplitude and phase arrays.
    using Tables = GeneratedTable;

    /// Registers the checks of the feed-forward inputs with the module's validator.
    void prepare() override;

    /// Both arrays to 0.
    void clearTables();
    /// Amplitude from the scalar set-point, phase of every sample.
    void computeIndependent();
    /// The flat-top from the per-bunch set-point table when `perBunch` is enabled.
    void computeAfterSetpoint(const PerBunchFlattop& perBunch);
    /// Amplitude, then phase, each destructively.
    void writeTables();

    void computeFeedForwardFillingAmplitude();
    void computeFeedForwardFlattopAmplitude();
    void computeFeedForwardFlattopFromPerBunchTable(const PerBunchFlattop& perBunch);

    Corvane::ScalarPushInput<double> flattopRatio{this, "flattopRatio", "", "Amplitude ratio flattop/filling"};
    Corvane::ScalarPushInputWB<double> delay{
        this, "delay", "us", "Feed forward table delay (do not confuse with PulseShape/delay)"};
    Smooth smooth{this, "Smooth", "Smoothing filter for transitions"};
    Tables table{this, "Table", "Output tables"};
  };

} // namespace TableGeneration
