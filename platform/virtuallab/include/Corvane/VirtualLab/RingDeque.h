// A double-ended queue in one ring of slots (capacity a power of two, doubled when full): adding
// and removing at either end and indexing cost a few instructions and, once the ring is large
// enough, no allocation, which a history that takes a record per simulated sample and drops
// its oldest needs. Removed elements are reset to T{} (their resources go at once).
//
// Indices count from the front. Not thread-safe.
#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>
#include <vector>

namespace Corvane::VirtualLab {

  template<class T>
  class RingDeque {
    static_assert(std::is_default_constructible_v<T>, "RingDeque: the slots hold default-constructed elements");

   public:
    bool empty() const { return _size == 0; }
    std::size_t size() const { return _size; }

    T& operator[](std::size_t index) { return _slots[(_head + index) & _mask]; }
    const T& operator[](std::size_t index) const { return _slots[(_head + index) & _mask]; }
    T& front() { return (*this)[0]; }
    const T& front() const { return (*this)[0]; }
    T& back() { return (*this)[_size - 1]; }
    const T& back() const { return (*this)[_size - 1]; }

    void push_back(T value) {
      if(_size == _slots.size()) grow();
      (*this)[_size] = std::move(value);
      ++_size;
    }
    void pop_back() {
      back() = T{};
      --_size;
    }
    void pop_front() {
      front() = T{};
      _head = (_head + 1) & _mask;
      --_size;
    }

    /// Inserts `value` before the element at `index` (index size() appends); the later ones move up.
    void insert(std::size_t index, T value) {
      push_back(std::move(value));
      for(std::size_t i = _size - 1; i > index; --i) std::swap((*this)[i], (*this)[i - 1]);
    }

    void clear() {
      _slots.assign(_slots.size(), T{});
      _head = 0;
      _size = 0;
    }

   private:
    void grow() {
      std::vector<T> slots(_slots.empty() ? 16 : 2 * _slots.size());
      for(std::size_t i = 0; i < _size; ++i) slots[i] = std::move((*this)[i]);
      _slots = std::move(slots);
      _head = 0;
      _mask = _slots.size() - 1;
    }

    std::vector<T> _slots;
    std::size_t _head{0};
    std::size_t _size{0};
    std::size_t _mask{0};
  };

} // namespace Corvane::VirtualLab
