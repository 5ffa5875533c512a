// Owner of a shared read-write memory mapping of a file region: unmaps it when destroyed.
// Move-only. The offset need not be page-aligned; data() points at the requested offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace Corvane {

  class MemoryMapping {
   public:
    MemoryMapping() = default;

    /// Maps `length` bytes of the file at `offset`. Corvane::runtime_error naming `what` on failure.
    MemoryMapping(int fd, std::uint64_t offset, std::size_t length, const std::string& what);
    ~MemoryMapping() { reset(); }

    MemoryMapping(MemoryMapping&& other) noexcept
    : _base(std::exchange(other._base, nullptr)), _mappedLength(std::exchange(other._mappedLength, 0)),
      _data(std::exchange(other._data, nullptr)), _length(std::exchange(other._length, 0)) {}
    MemoryMapping& operator=(MemoryMapping&& other) noexcept {
      if(this != &other) {
        reset();
        _base = std::exchange(other._base, nullptr);
        _mappedLength = std::exchange(other._mappedLength, 0);
        _data = std::exchange(other._data, nullptr);
        _length = std::exchange(other._length, 0);
      }
      return *this;
    }
    MemoryMapping(const MemoryMapping&) = delete;
    MemoryMapping& operator=(const MemoryMapping&) = delete;

    std::byte* data() const { return _data; }
    std::size_t size() const { return _length; }
    bool isValid() const { return _data != nullptr; }

    void reset() noexcept;

   private:
    void* _base{nullptr};
    std::size_t _mappedLength{0};
    std::byte* _data{nullptr};
    std::size_t _length{0};
  };

} // namespace Corvane
