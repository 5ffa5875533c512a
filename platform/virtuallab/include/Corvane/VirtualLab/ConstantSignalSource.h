// A signal source that yields one value at every time, recording nothing.
#pragma once

#include "Corvane/VirtualLab/SignalSource.h"

namespace Corvane::VirtualLab {

  class ConstantSignalSource : public SignalSource {
   public:
    explicit ConstantSignalSource(double value) : _value(value) {}

    double getValue(Picoseconds) override { return _value; }

   private:
    double _value;
  };

} // namespace Corvane::VirtualLab
