// Identity of an accessor, as returned by read-any groups and used as a map key.
// A default-constructed id is empty; two ids are equal only when both are valid and the same.
#pragma once

#include <cstdint>
#include <functional>

namespace Corvane {

  class TransferElementID {
   public:
    TransferElementID() = default;
    static TransferElementID makeNew();

    bool isValid() const { return _id != 0; }
    std::uint64_t value() const { return _id; }

    friend bool operator==(const TransferElementID& a, const TransferElementID& b) {
      return a._id != 0 && a._id == b._id;
    }
    friend bool operator<(const TransferElementID& a, const TransferElementID& b) { return a._id < b._id; }

   private:
    explicit TransferElementID(std::uint64_t id) : _id(id) {}
    std::uint64_t _id{0};
  };

} // namespace Corvane

template<>
struct std::hash<Corvane::TransferElementID> {
  std::size_t operator()(const Corvane::TransferElementID& id) const noexcept {
    return std::hash<std::uint64_t>{}(id.value());
  }
};
