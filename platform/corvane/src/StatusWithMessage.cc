#include "Corvane/StatusWithMessage.h"

namespace Corvane {

  StatusWithMessage::StatusWithMessage(Module* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags)
  : _status(owner, name, description, tags), _message(owner, name + messageSuffix, "", description, tags) {}

  void StatusWithMessage::set(Status status, const std::string& message) {
    _status = status;
    _message = message;
  }

  void StatusWithMessage::write(Status status, const std::string& message) {
    set(status, message);
    _message.write();
    _status.write();
  }

  void StatusWithMessage::writeIfDifferent(Status status, const std::string& message) {
    _message.writeIfDifferent(message);
    _status.writeIfDifferent(status);
  }

} // namespace Corvane
