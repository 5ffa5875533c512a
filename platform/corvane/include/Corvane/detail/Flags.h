// Direction and update mode of accessors, and the named kinds that fix both.
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

  /// The named accessor kinds (ScalarPushInput, ArrayOutput, ...): each fixes a direction and an
  /// update mode. WB: input with write-back; PushRB: output with read-back.
  enum class AccessorKind { pushInput, pollInput, pushInputWB, output, outputPushRB };

  constexpr VariableDirection directionOf(AccessorKind kind) {
    switch(kind) {
      case AccessorKind::pushInput:
      case AccessorKind::pollInput: return {VariableDirection::consuming, false};
      case AccessorKind::pushInputWB: return {VariableDirection::consuming, true};
      case AccessorKind::output: return {VariableDirection::feeding, false};
      case AccessorKind::outputPushRB: return {VariableDirection::feeding, true};
    }
    return {};
  }

  constexpr UpdateMode updateModeOf(AccessorKind kind) {
    return kind == AccessorKind::pollInput ? UpdateMode::poll : UpdateMode::push;
  }

} // namespace Corvane
