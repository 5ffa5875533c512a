// One controller DAQ channel's values at the sampling position and its pulse statistics, as
// the controller publishes them below "<channel>/DAQ": modules that read them declare this
// group with input accessors at the channel's path.
#pragma once

#include <Corvane/ScalarAccessor.h>
#include <Corvane/VariableGroup.h>

template<template<class> class Accessor>
class DaqChannelSamples : public Corvane::VariableGroup {
 public:
  using Corvane::VariableGroup::VariableGroup;
  DaqChannelSamples() = default;
  DaqChannelSamples(DaqChannelSamples&&) noexcept = default;
  DaqChannelSamples& operator=(DaqChannelSamples&&) noexcept = default;

  class Daq : public Corvane::VariableGroup {
   public:
    using Corvane::VariableGroup::VariableGroup;
    Daq() = default;
    Daq(Daq&&) noexcept = default;
    Daq& operator=(Daq&&) noexcept = default;

    class Samples : public Corvane::VariableGroup {
     public:
      using Corvane::VariableGroup::VariableGroup;
      Samples() = default;
      Samples(Samples&&) noexcept = default;
      Samples& operator=(Samples&&) noexcept = default;

      Accessor<float> I{this, "I", "G.U.", "Calibrated value in I", {}};
      Accessor<float> Q{this, "Q", "G.U.", "Calibrated value in Q", {}};
      Accessor<float> amplitude{this, "amplitude", "G.U.", "Amplitude", {}};
      Accessor<float> phase{this, "phase", "deg", "Phase", {}};
    };

    class Statistics : public Corvane::VariableGroup {
     public:
      using Corvane::VariableGroup::VariableGroup;
      Statistics() = default;
      Statistics(Statistics&&) noexcept = default;
      Statistics& operator=(Statistics&&) noexcept = default;

      Accessor<float> IAverage{this, "IAverage", "G.U.", "Calibrated value in I averaged over the full pulse", {}};
      Accessor<float> QAverage{this, "QAverage", "G.U.", "Calibrated value in Q averaged over the full pulse", {}};
      Accessor<float> amplitudeAverage{this, "amplitudeAverage", "G.U.", "Amplitude averaged over the full pulse", {}};
      // named "phase", not "phaseAverage": readers expect this name
      Accessor<float> phase{this, "phase", "deg", "Phase averaged over the full pulse", {}};
    };

    Samples samples{this, "Samples", "", {}};
    Statistics statistics{this, "Statistics", "", {}};
  };

  Daq daq{this, "DAQ", "DAQ data from controller on FPGA", {}};
};
