// An I/Q pair of controller table arrays that a module reads: the push inputs "I" and "Q" of
// "Configuration/pulseLength" elements (unit "digits"), with descriptions of the owner's choice. The input side
// of TableIQ; T is double (generated tables), int (operators' corrections) or float (learned corrections).
#pragma once

#include "ConfigurationKeys.h"

#include <Corvane/ArrayAccessor.h>
#include <Corvane/ConfigReader.h>
#include <Corvane/VariableGroup.h>

#include <cstdint>
#include <string>
#include <unordered_set>

template<class T>
class TableIQInput : public Corvane::VariableGroup {
 public:
  TableIQInput(Corvane::Module* owner, const std::string& name, const std::string& description,
      const std::string& descriptionI, const std::string& descriptionQ)
  : Corvane::VariableGroup(owner, name, description, {}),
    pulseLength(appConfig().get<std::uint32_t>(ConfigurationKeys::pulseLength)),
    I(this, "I", "digits", pulseLength, descriptionI), Q(this, "Q", "digits", pulseLength, descriptionQ) {}
  TableIQInput(TableIQInput&&) noexcept = default;
  TableIQInput& operator=(TableIQInput&&) noexcept = default;
  ~TableIQInput() override = default;

  /// Elements of each array, fixed at construction.
  std::uint32_t pulseLength;
  Corvane::ArrayPushInput<T> I;
  Corvane::ArrayPushInput<T> Q;
};
