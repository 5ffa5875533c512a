// The feeding side of one cascade input of a rotation parameter module: placed at the path of
// a cascade input ("CascadeInputAutomation", ...), its variables feed that input's "scale",
// "angle" and "enable".
#pragma once

#include <Corvane/ScalarAccessor.h>
#include <Corvane/VariableGroup.h>

#include <cstdint>

template<template<class> class Accessor>
class CascadedRotation : public Corvane::VariableGroup {
 public:
  using Corvane::VariableGroup::VariableGroup;
  CascadedRotation() = default;
  CascadedRotation(CascadedRotation&&) noexcept = default;
  CascadedRotation& operator=(CascadedRotation&&) noexcept = default;

  Accessor<double> scale{this, "scale", "", "Relative amplitude scaling factor", {}};
  Accessor<double> angle{this, "angle", "deg", "Phase", {}};
  Accessor<std::int32_t> enable{this, "enable", "", "Enable the cascaded input", {}};
};
