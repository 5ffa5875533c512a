// An I/Q pair of controller table arrays, "I" and "Q" of "Configuration/pulseLength" elements (unit
// "digits"), as the table writers hand them to the board or to each other. T is double (firmware tables,
// generated tables) or int (summed corrections). The owning module fills both user buffers and writes them.
#pragma once

#include "ConfigurationKeys.h"

#include <Corvane/ArrayAccessor.h>
#include <Corvane/ConfigReader.h>
#include <Corvane/VariableGroup.h>

#include <cstdint>
#include <string>
#include <unordered_set>

template<class T>
class TableIQ : public Corvane::VariableGroup {
 public:
  TableIQ(Corvane::Module* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags = {})
  : Corvane::VariableGroup(owner, name, description, tags),
    pulseLength(appConfig().get<std::uint32_t>(ConfigurationKeys::pulseLength)) {}
  TableIQ(TableIQ&&) noexcept = default;
  TableIQ& operator=(TableIQ&&) noexcept = default;
  ~TableIQ() override = default;

  /// Elements of each array, fixed at construction.
  std::uint32_t pulseLength;
  Corvane::ArrayOutput<T> I{this, "I", "digits", pulseLength, "I"};
  Corvane::ArrayOutput<T> Q{this, "Q", "digits", pulseLength, "Q"};
};
