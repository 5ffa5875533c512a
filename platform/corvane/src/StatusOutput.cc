#include "Corvane/StatusOutput.h"

namespace Corvane {

  namespace {
    std::unordered_set<std::string> withStatusTag(std::unordered_set<std::string> tags) {
      tags.insert(StatusOutput::tag);
      return tags;
    }
  } // namespace

  StatusOutput::StatusOutput(Module* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags)
  : ScalarOutput<std::int32_t>(owner, name, "", description, withStatusTag(tags)) {}

  std::string StatusOutput::toString(std::int32_t status) {
    switch(status) {
      case OK: return "OK";
      case FAULT: return "FAULT";
      case OFF: return "OFF";
      case WARNING: return "WARNING";
      default: return "status " + std::to_string(status);
    }
  }

} // namespace Corvane
