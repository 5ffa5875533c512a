// A string output whose writes are events for the application's EventMessageAggregator:
// set the text and write it; every write is one event, also when the text did not change.
// Write an initial text (usually "") in prepare(): the aggregator waits for it like for any
// initial value.
#pragma once

#include "Corvane/ScalarAccessor.h"

#include <string>
#include <unordered_set>

namespace Corvane {

  class AggregatableMessage : public ScalarOutput<std::string> {
   public:
    /// Tag that marks event-message outputs.
    static constexpr const char* tag = "_Corvane_EventMessage";

    AggregatableMessage() = default;
    AggregatableMessage(Module* owner, const std::string& name, const std::string& unit, const std::string& description,
        const std::unordered_set<std::string>& tags = {});
    AggregatableMessage(AggregatableMessage&&) noexcept = default;
    AggregatableMessage& operator=(AggregatableMessage&&) noexcept = default;

    AggregatableMessage& operator=(const std::string& text) {
      value() = text;
      return *this;
    }
  };

} // namespace Corvane
