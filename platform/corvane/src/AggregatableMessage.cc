#include "Corvane/AggregatableMessage.h"

namespace Corvane {

  namespace {
    std::unordered_set<std::string> withMessageTag(std::unordered_set<std::string> tags) {
      tags.insert(AggregatableMessage::tag);
      return tags;
    }
  } // namespace

  AggregatableMessage::AggregatableMessage(Module* owner, const std::string& name, const std::string& unit,
      const std::string& description, const std::unordered_set<std::string>& tags)
  : ScalarOutput<std::string>(owner, name, unit, description, withMessageTag(tags)) {}

} // namespace Corvane
