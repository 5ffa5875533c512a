// Direction and update mode of accessors.
#pragma once

namespace Corvane {

  /// Whether an accessor feeds its variable (an output) or consumes it (an input), and whether
  /// it also has the channel in the other direction (write-back of inputs, read-back of outputs).
  struct VariableDirection {
    enum { feeding, consuming, invalid } dir{invalid};
    bool withReturn{false};
    friend bool operator==(const VariableDirection&, const VariableDirection&) = default;
  };

  /// Push: a read waits for the next value. Poll: a read takes the latest value at once.
  enum class UpdateMode { poll, push };

} // namespace Corvane
