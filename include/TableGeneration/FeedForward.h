// The feed-forward sub-algorithm: the drive that the controller plays out
// during the pulse. So far it holds the inputs the pulse shape and the phase
// rule read (the table delay and the edge smoothing); the table computation and
// its checks join it with their implementation.
#pragma once

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

    Corvane::ScalarPushInputWB<double> delay{
        this, "delay", "us", "Feed forward table delay (do not confuse with PulseShape/delay)"};
    Smooth smooth{this, "Smooth", "Smoothing filter for transitions"};
  };

} // namespace TableGeneration
