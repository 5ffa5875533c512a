// Error types of the Corvane framework.
//
// logic_error: programming and configuration errors (bad names, wiring conflicts, missing or
// mistyped configuration keys). They are thrown before any module thread runs and always say
// what was wrong and where (path, file, line, key).
// runtime_error: faults of devices and other run-time resources. Device modules catch them and
// hand them to the framework's recovery; module code never sees them.
#pragma once

#include <stdexcept>
#include <string>

namespace Corvane {

  class logic_error : public std::logic_error {
   public:
    using std::logic_error::logic_error;
  };

  class runtime_error : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
  };

} // namespace Corvane
