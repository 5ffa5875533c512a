// Combines status outputs into one status with message.
//
// At construction the aggregator searches everything built so far in the application for
// outputs tagged StatusOutput::tag (and, when tagsToAggregate is given, carrying all of those
// tags too), leaving out outputs of disabled modules and its own. It reads each of them as a
// push input at its path, together with its message "<path>_message" when the status belongs to
// a StatusWithMessage. When another aggregator's output is among them, that aggregator stands
// for the outputs it covers: they are not read a second time, so aggregators nest.
//
// It publishes the result at "<outputName>" (a status output itself, so that an aggregator built
// later can take it in) and the message at "<outputName>_message", both relative to the owner.
// The message is the deciding input's own message when it has one, otherwise
// "<path> switched to <STATUS>"; it is empty while the result is OK. Among inputs of equal status
// the first found decides. An input with faulty validity, or with a value that is no status,
// counts as FAULT.
#pragma once

#include "Corvane/ApplicationModule.h"
#include "Corvane/StatusOutput.h"

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace Corvane {

  class StatusAggregator : public ApplicationModule {
   public:
    /// Which status wins; the letters name the order from highest to lowest
    /// (f FAULT, w WARNING, o OFF, k OK).
    enum class PriorityMode : int {
      ofwk = 0,         ///< OFF > FAULT > WARNING > OK: a switched-off part makes the whole OFF
      fwko = 1,         ///< FAULT > WARNING > OFF > OK
      fwok = 2,         ///< FAULT > WARNING > OK > OFF: OFF only when every input is OFF
      fwWarnMixed = 3,  ///< FAULT > WARNING; OK and OFF together give WARNING, else OK or OFF
    };

    StatusAggregator() = default;
    /// Throws logic_error when no status output is found or the output name is unusable.
    StatusAggregator(Module* owner, const std::string& outputName, const std::string& description, PriorityMode mode,
        const std::unordered_set<std::string>& tagsToAggregate = {},
        const std::unordered_set<std::string>& outputTags = {});
    StatusAggregator(StatusAggregator&&) noexcept = default;
    StatusAggregator& operator=(StatusAggregator&&) noexcept = default;

    void mainLoop() override;

    /// Paths of the status outputs this aggregator stands for: its own inputs and, through
    /// nested aggregators, theirs.
    const std::vector<std::string>& coveredPaths() const { return _covered; }

    /// Index of the input that decides the result for `statuses` (each already FAULT where
    /// invalid), or -1 for an empty list. `mixed` is set when the result is the WARNING of
    /// fwWarnMixed for OK and OFF together; the returned input is then the first OFF one.
    static int decidingInput(PriorityMode mode, const std::vector<std::int32_t>& statuses, bool& mixed);

   private:
    struct Input {
      std::string path;
      ScalarPushInput<std::int32_t> status;
      ScalarPushInput<std::string> message; // ownerless when the status has no message
      bool hasMessage{false};
    };

    void findInputs(const std::unordered_set<std::string>& tagsToAggregate);
    /// Message for a non-OK result decided by `input`.
    static std::string explain(const Input& input, std::int32_t result, bool mixed);

    PriorityMode _mode{PriorityMode::fwko};
    std::vector<Input> _inputs;
    std::vector<std::string> _covered;
    StatusOutput _status;
    ScalarOutput<std::string> _message;
  };

} // namespace Corvane
