// The software vector sum of the forward signals, "/ForwardVectorSum", as the output vector correction reads it:
// this station's share (part of the consistent input set) and, on a master, the slave crate's share, which comes
// from outside the program: its latest value is added to every consistent set of the station's own traces. On other instances the slave's share is an ownerless placeholder that takes no part
// in the application.
#pragma once

#include "OutputVectorCorrection/InputDataTag.h"

#include <Corvane/ArrayAccessor.h>
#include <Corvane/VariableGroup.h>

#include <cstdint>

namespace OutputVectorCorrection {

  class ForwardVectorSum : public Corvane::VariableGroup {
   public:
    ForwardVectorSum(Corvane::Module* owner, const std::string& name, const std::string& description,
        std::uint32_t pulseLength, bool withSlaveShare);

    Corvane::ArrayPushInput<float> I;
    Corvane::ArrayPushInput<float> Q;

    struct FromSlave : Corvane::VariableGroup {
      FromSlave() = default;
      FromSlave(Corvane::Module* owner, std::uint32_t pulseLength);
      Corvane::ArrayPushInput<double> I;
      Corvane::ArrayPushInput<double> Q;
    } fromSlave;
  };

} // namespace OutputVectorCorrection
