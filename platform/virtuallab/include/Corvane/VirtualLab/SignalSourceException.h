// A value of a signal source cannot be had at the requested time (too far into the past, no
// value at all, or the source's callback failed). Raised by sink and source reads.
#pragma once

#include <Corvane/Exception.h>

namespace Corvane::VirtualLab {

  class SignalSourceException : public Corvane::logic_error {
   public:
    using Corvane::logic_error::logic_error;
  };

} // namespace Corvane::VirtualLab
