// Collects the event messages of all modules into one stream.
//
// At construction it searches everything built so far in the application for string outputs
// tagged AggregatableMessage::tag (outputs of disabled modules left out) and reads each as a push
// input. Every write of a non-empty text is one event: the aggregator publishes the path of the
// emitting variable at "<name>/source", then the text at "<name>/message", also when the text
// repeats the previous one. An empty text clears a module's own message and is no event.
// Non-empty initial texts are published at start, oldest version first.
#pragma once

#include "Corvane/ApplicationModule.h"
#include "Corvane/ScalarAccessor.h"

#include <string>
#include <vector>

namespace Corvane {

  class EventMessageAggregator : public ApplicationModule {
   public:
    EventMessageAggregator() = default;
    EventMessageAggregator(Module* owner, const std::string& name, const std::string& description);
    EventMessageAggregator(EventMessageAggregator&&) noexcept = default;
    EventMessageAggregator& operator=(EventMessageAggregator&&) noexcept = default;

    void mainLoop() override;

    /// Number of message outputs found at construction.
    std::size_t numberOfSources() const { return _inputs.size(); }

   private:
    void publish(const ScalarPushInput<std::string>& input);

    std::vector<ScalarPushInput<std::string>> _inputs;
    ScalarOutput<std::string> _source;
    ScalarOutput<std::string> _message;
  };

} // namespace Corvane
