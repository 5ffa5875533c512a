// Array accessors: a fixed number of elements given at construction, (owner, name, unit,
// nElements, description, tags) for the named kinds.
#pragma once

#include "Corvane/AccessorBase.h"
#include "Corvane/Assert.h"

#include <cmath>
#include <type_traits>
#include <vector>

namespace Corvane {

  template<class T>
  class ArrayAccessor : public AccessorBase<T> {
   public:
    ArrayAccessor() { this->buffer().clear(); }
    ArrayAccessor(Module* owner, const std::string& name, VariableDirection direction, const std::string& unit,
        std::size_t nElements, UpdateMode mode, const std::string& description,
        const std::unordered_set<std::string>& tags = {})
    : AccessorBase<T>(owner, name, direction, unit, nElements, mode, description, tags) {}
    ArrayAccessor(ArrayAccessor&&) noexcept = default;
    ArrayAccessor& operator=(ArrayAccessor&&) noexcept = default;

    T& operator[](std::size_t i) { return this->buffer()[i]; }
    const T& operator[](std::size_t i) const { return this->buffer()[i]; }
    std::size_t size() const { return this->buffer().size(); }
    auto begin() { return this->buffer().begin(); }
    auto end() { return this->buffer().end(); }
    auto begin() const { return this->buffer().begin(); }
    auto end() const { return this->buffer().end(); }
    T* data() { return this->buffer().data(); }
    const T* data() const { return this->buffer().data(); }
    operator const std::vector<T>&() const { return this->buffer(); }
    const std::vector<T>& value() const { return this->buffer(); }

    /// Copies a vector of the same length into the accessor.
    ArrayAccessor& operator=(const std::vector<T>& v) {
      checkLength(v.size());
      this->buffer() = v;
      return *this;
    }

    /// Writes `v` (of the same length) unless it equals, element by element, the value last written
    /// with the same validity; always writes the first time. Floating-point elements compare with
    /// NaN equal to NaN (tables mark unused entries with it), so resending such a table is no change.
    /// The comparison is with the accessor's current value: the last written one unless the buffer
    /// was changed since or written destructively.
    bool writeIfDifferent(const std::vector<T>& v) {
      checkLength(v.size());
      auto* node = this->_node.get();
      DataValidity next = node->ownValidity;
      if(node->module && node->module->validity() == DataValidity::faulty) next = DataValidity::faulty;
      if(node->everWritten && node->lastWrittenValidity == next && sameElements(this->buffer(), v)) return false;
      this->buffer() = v;
      return this->write();
    }

    /// Exchanges the buffer with a vector of the same length, without copying.
    void swap(std::vector<T>& v) {
      checkLength(v.size());
      this->buffer().swap(v);
    }

   private:
    static bool sameElements(const std::vector<T>& a, const std::vector<T>& b) {
      if constexpr(std::is_floating_point_v<T>) {
        for(std::size_t i = 0; i < a.size(); ++i) {
          if(!(a[i] == b[i] || (std::isnan(a[i]) && std::isnan(b[i])))) return false;
        }
        return true;
      }
      else {
        return a == b;
      }
    }

    void checkLength(std::size_t n) const {
      if(n != this->buffer().size()) {
        breakOfContract("Array " + this->getName() + " has " + std::to_string(this->buffer().size()) +
            " elements, got " + std::to_string(n));
      }
    }
  };

  /// An array accessor of one named kind, declared as a module member with (owner, name, unit,
  /// nElements, description, tags). Modules use the aliases below.
  template<class T, AccessorKind kind>
  class ArrayKindAccessor : public ArrayAccessor<T> {
   public:
    ArrayKindAccessor() = default;
    ArrayKindAccessor(Module* owner, const std::string& name, const std::string& unit, std::size_t nElements,
        const std::string& description, const std::unordered_set<std::string>& tags = {})
    : ArrayAccessor<T>(owner, name, directionOf(kind), unit, nElements, updateModeOf(kind), description, tags) {}
    ArrayKindAccessor(ArrayKindAccessor&&) noexcept = default;
    ArrayKindAccessor& operator=(ArrayKindAccessor&&) noexcept = default;
    ArrayKindAccessor& operator=(const std::vector<T>& v) {
      ArrayAccessor<T>::operator=(v);
      return *this;
    }
  };

  /// Input whose read() waits for the next value.
  template<class T>
  using ArrayPushInput = ArrayKindAccessor<T, AccessorKind::pushInput>;
  /// Input whose read() takes the newest value at once.
  template<class T>
  using ArrayPollInput = ArrayKindAccessor<T, AccessorKind::pollInput>;
  /// Push input that can also write a value back to its feeder.
  template<class T>
  using ArrayPushInputWB = ArrayKindAccessor<T, AccessorKind::pushInputWB>;
  template<class T>
  using ArrayOutput = ArrayKindAccessor<T, AccessorKind::output>;
  /// Output that also receives values written back by its readers.
  template<class T>
  using ArrayOutputPushRB = ArrayKindAccessor<T, AccessorKind::outputPushRB>;

} // namespace Corvane
