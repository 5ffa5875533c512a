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

  /// A scalar accessor of one named kind, declared as a module member with (owner, name, unit,
  /// description, tags). Modules use the aliases below.
  template<class T, AccessorKind kind>
  class ScalarKindAccessor : public ScalarAccessor<T> {
   public:
    ScalarKindAccessor() = default;
    ScalarKindAccessor(Module* owner, const std::string& name, const std::string& unit, const std::string& description,
        const std::unordered_set<std::string>& tags = {})
    : ScalarAccessor<T>(owner, name, directionOf(kind), unit, updateModeOf(kind), description, tags) {}
    ScalarKindAccessor(ScalarKindAccessor&&) noexcept = default;
    ScalarKindAccessor& operator=(ScalarKindAccessor&&) noexcept = default;
    ScalarKindAccessor& operator=(const T& v) {
      ScalarAccessor<T>::operator=(v);
      return *this;
    }
  };

  /// Input whose read() waits for the next value.
  template<class T>
  using ScalarPushInput = ScalarKindAccessor<T, AccessorKind::pushInput>;
  /// Input whose read() takes the newest value at once.
  template<class T>
  using ScalarPollInput = ScalarKindAccessor<T, AccessorKind::pollInput>;
  /// Push input that can also write a value back to its feeder (e.g. a corrected setting).
  template<class T>
  using ScalarPushInputWB = ScalarKindAccessor<T, AccessorKind::pushInputWB>;
  template<class T>
  using ScalarOutput = ScalarKindAccessor<T, AccessorKind::output>;
  /// Output that also receives values written back by its readers.
  template<class T>
  using ScalarOutputPushRB = ScalarKindAccessor<T, AccessorKind::outputPushRB>;

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
