// Scalar accessors: the generic form with explicit direction and mode, and the named kinds
// (push/poll inputs, write-back inputs, outputs, outputs with read-back) that modules declare
// as members with (owner, name, unit, description, tags).
#pragma once

#include "Corvane/AccessorBase.h"

namespace Corvane {

  template<class T>
  class ScalarAccessor : public AccessorBase<T> {
   public:
    ScalarAccessor() = default;
    ScalarAccessor(Module* owner, const std::string& name, VariableDirection direction, const std::string& unit,
        UpdateMode mode, const std::string& description, const std::unordered_set<std::string>& tags = {})
    : AccessorBase<T>(owner, name, direction, unit, 1, mode, description, tags) {}
    ScalarAccessor(ScalarAccessor&&) noexcept = default;
    ScalarAccessor& operator=(ScalarAccessor&&) noexcept = default;

    operator T&() { return this->buffer()[0]; }
    operator const T&() const { return this->buffer()[0]; }
    /// Lets a Boolean accessor stand in a condition directly.
    template<class U = T, std::enable_if_t<std::is_same_v<U, Boolean>, int> = 0>
    operator bool() const {
      return this->buffer()[0];
    }
    T& value() { return this->buffer()[0]; }
    const T& value() const { return this->buffer()[0]; }
    ScalarAccessor& operator=(const T& v) {
      this->buffer()[0] = v;
      return *this;
    }

    /// Writes `v` unless it equals the last written value with the same validity; always writes
    /// the first time.
    bool writeIfDifferent(const T& v) {
      auto* node = this->_node.get();
      DataValidity next = node->ownValidity;
      if(node->module && node->module->validity() == DataValidity::faulty) next = DataValidity::faulty;
      if(node->everWritten && this->buffer()[0] == v && node->lastWrittenValidity == next) return false;
      this->buffer()[0] = v;
      return this->write();
    }

    /// Sets the value and writes it.
    bool setAndWrite(const T& v) {
      this->buffer()[0] = v;
      return this->write();
    }
  };

#define CORVANE_SCALAR_KIND(Kind, directionValue, withReturnValue, modeValue)                                         \
  template<class T>                                                                                                    \
  class Kind : public ScalarAccessor<T> {                                                                              \
   public:                                                                                                             \
    Kind() = default;                                                                                                  \
    Kind(Module* owner, const std::string& name, const std::string& unit, const std::string& description,            \
        const std::unordered_set<std::string>& tags = {})                                                              \
    : ScalarAccessor<T>(owner, name, VariableDirection{VariableDirection::directionValue, withReturnValue}, unit,      \
          UpdateMode::modeValue, description, tags) {}                                                                 \
    Kind(Kind&&) noexcept = default;                                                                                   \
    Kind& operator=(Kind&&) noexcept = default;                                                                        \
    Kind& operator=(const T& v) {                                                                                      \
      ScalarAccessor<T>::operator=(v);                                                                                 \
      return *this;                                                                                                    \
    }                                                                                                                  \
  }

  CORVANE_SCALAR_KIND(ScalarPushInput, consuming, false, push);
  CORVANE_SCALAR_KIND(ScalarPollInput, consuming, false, poll);
  CORVANE_SCALAR_KIND(ScalarPushInputWB, consuming, true, push);
  CORVANE_SCALAR_KIND(ScalarOutput, feeding, false, push);
  CORVANE_SCALAR_KIND(ScalarOutputPushRB, feeding, true, push);

#undef CORVANE_SCALAR_KIND

  /// Inputs and outputs without data: a write says that something happened.
  class VoidInput : public ScalarAccessor<Void> {
   public:
    VoidInput() = default;
    VoidInput(Module* owner, const std::string& name, const std::string& unit, const std::string& description,
        const std::unordered_set<std::string>& tags = {})
    : ScalarAccessor<Void>(owner, name, VariableDirection{VariableDirection::consuming, false}, unit, UpdateMode::push,
          description, tags) {}
  };

  class VoidOutput : public ScalarAccessor<Void> {
   public:
    VoidOutput() = default;
    VoidOutput(Module* owner, const std::string& name, const std::string& unit, const std::string& description,
        const std::unordered_set<std::string>& tags = {})
    : ScalarAccessor<Void>(owner, name, VariableDirection{VariableDirection::feeding, false}, unit, UpdateMode::push,
          description, tags) {}
  };

} // namespace Corvane
