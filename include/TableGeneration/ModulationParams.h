// The operator's parameters of one table's exponential phase modulation:
// maximum offset, time constant, the window's start and stop (relative to the
// table's filling start) and the function select (0 off, 1 exponential).
#pragma once

#include <Corvane/ScalarAccessor.h>
#include <Corvane/VariableGroup.h>

#include <cstdint>

namespace TableGeneration {

  class ModulationParams : public Corvane::VariableGroup {
   public:
    using Corvane::VariableGroup::VariableGroup;

    Corvane::ScalarPushInput<double> maximumPhaseOffset{
        this, "maximumPhaseOffset", "deg", "Maximum phase offset for phase modulation"};
    Corvane::ScalarPushInputWB<double> timeConstant{this, "timeConstant", "us", "Time constant of phase modulation"};
    Corvane::ScalarPushInputWB<double> startTime{
        this, "startTime", "us", "Start time of phase modulation (relative to pulse delay)"};
    Corvane::ScalarPushInputWB<double> stopTime{
        this, "stopTime", "us", "Stop time of phase modulation (relative to pulse delay)"};
    Corvane::ScalarPushInputWB<std::int32_t> functionSelect{
        this, "functionSelect", "", "Select function for phase modulation: 0=disable; 1=exponential"};
  };

} // namespace TableGeneration
