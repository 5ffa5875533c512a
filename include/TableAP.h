// An amplitude/phase pair of float arrays of "Configuration/pulseLength" elements, both tagged "DAQ": the
// calibrated trace of one controller DAQ channel. Built without an owner it is a placeholder with the same
// arrays that takes part in nothing (a channel that computes no amplitude and phase).
#pragma once

#include <Corvane/ArrayAccessor.h>
#include <Corvane/VariableGroup.h>

#include <cstdint>
#include <string>
#include <unordered_set>

class TableAP : public Corvane::VariableGroup {
 public:
  /// A placeholder: the arrays exist but belong to no variable.
  TableAP();
  TableAP(Corvane::Module* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags = {});
  TableAP(TableAP&&) noexcept = default;
  TableAP& operator=(TableAP&&) noexcept = default;
  ~TableAP() override = default;

  /// Elements of each array, fixed at construction.
  std::uint32_t pulseLength;
  Corvane::ArrayOutput<float> amplitude{this, "amplitude", "G.U.", pulseLength, "Amplitude", {"DAQ"}};
  Corvane::ArrayOutput<float> phase{this, "phase", "deg", pulseLength, "Phase", {"DAQ"}};
};
