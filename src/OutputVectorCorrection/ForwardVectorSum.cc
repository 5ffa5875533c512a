#include "OutputVectorCorrection/ForwardVectorSum.h"

namespace OutputVectorCorrection {

  ForwardVectorSum::ForwardVectorSum(Corvane::Module* owner, const std::string& name, const std::string& description,
      std::uint32_t pulseLength, bool withSlaveShare)
  : Corvane::VariableGroup(owner, name, description),
    I(this, "I", "G.U.", pulseLength, "I component", {inputDataTag}),
    Q(this, "Q", "G.U.", pulseLength, "Q component", {inputDataTag}),
    fromSlave(withSlaveShare ? FromSlave(this, pulseLength) : FromSlave()) {}

  ForwardVectorSum::FromSlave::FromSlave(Corvane::Module* owner, std::uint32_t pulseLength)
  : Corvane::VariableGroup(owner, "FromSlave", "Vector sum component from slave crate"),
    I(this, "I", "G.U.", pulseLength, "I component"), Q(this, "Q", "G.U.", pulseLength, "Q component") {}

} // namespace OutputVectorCorrection
