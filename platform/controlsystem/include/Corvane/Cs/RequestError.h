// A request of a control-system client that is refused: the HTTP status to answer with and a
// message that says what was wrong. Nothing has been changed when it is thrown.
#pragma once

#include <stdexcept>
#include <string>

namespace Corvane::Cs {

  class RequestError : public std::runtime_error {
   public:
    RequestError(int status, const std::string& message) : std::runtime_error(message), _status(status) {}
    int status() const { return _status; }

   private:
    int _status;
  };

} // namespace Corvane::Cs
