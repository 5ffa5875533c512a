// Array accessors: a fixed number of elements given at construction, (owner, name, unit,
// nElements, description, tags) for the named kinds.
#pragma once

#include "Corvane/AccessorBase.h"
#include "Corvane/Assert.h"

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

    /// Exchanges the buffer with a vector of the same length, without copying.
    void swap(std::vector<T>& v) {
      checkLength(v.size());
      this->buffer().swap(v);
    }

   private:
    void checkLength(std::size_t n) const {
      if(n != this->buffer().size()) {
        breakOfContract("Array " + this->getName() + " has " + std::to_string(this->buffer().size()) +
            " elements, got " + std::to_string(n));
      }
    }
  };

#define CORVANE_ARRAY_KIND(Kind, directionValue, withReturnValue, modeValue)                                          \
  template<class T>                                                                                                    \
  class Kind : public ArrayAccessor<T> {                                                                               \
   public:                                                                                                             \
    Kind() = default;                                                                                                  \
    Kind(Module* owner, const std::string& name, const std::string& unit, std::size_t nElements,                     \
        const std::string& description, const std::unordered_set<std::string>& tags = {})                             \
    : ArrayAccessor<T>(owner, name, VariableDirection{VariableDirection::directionValue, withReturnValue}, unit,       \
          nElements, UpdateMode::modeValue, description, tags) {}                                                      \
    Kind(Kind&&) noexcept = default;                                                                                   \
    Kind& operator=(Kind&&) noexcept = default;                                                                        \
    Kind& operator=(const std::vector<T>& v) {                                                                         \
      ArrayAccessor<T>::operator=(v);                                                                                  \
      return *this;                                                                                                    \
    }                                                                                                                  \
  }

  CORVANE_ARRAY_KIND(ArrayPushInput, consuming, false, push);
  CORVANE_ARRAY_KIND(ArrayPollInput, consuming, false, poll);
  CORVANE_ARRAY_KIND(ArrayPushInputWB, consuming, true, push);
  CORVANE_ARRAY_KIND(ArrayOutput, feeding, false, push);
  CORVANE_ARRAY_KIND(ArrayOutputPushRB, feeding, true, push);

#undef CORVANE_ARRAY_KIND

} // namespace Corvane
