// An amplitude/phase pair with one layout for every module that exchanges it: the writer and
// each reader declare the same names and the framework connects them by path. The accessor
// kind (push input, output, output with read-back) and the value type are chosen per instance.
#pragma once

#include <Corvane/ScalarAccessor.h>
#include <Corvane/VariableGroup.h>

template<template<class> class Accessor, class Value>
class AmplitudePhase : public Corvane::VariableGroup {
 public:
  using Corvane::VariableGroup::VariableGroup;

  /// Ownerless pair: exists as an object but publishes nothing and connects to nothing. Owners
  /// use it where they decide at construction not to publish the pair.
  AmplitudePhase() = default;
  AmplitudePhase(AmplitudePhase&&) noexcept = default;
  AmplitudePhase& operator=(AmplitudePhase&&) noexcept = default;

  Accessor<Value> amplitude{this, "amplitude", "G.U.", "Amplitude", {}};
  Accessor<Value> phase{this, "phase", "deg", "Phase", {}};
};
