// Version numbers: every value in the variable network carries one.
//
// A default-constructed VersionNumber is new: strictly greater than every version created
// before it in this process, with the wall-clock time of its creation. VersionNumber(nullptr)
// is the "no version yet" value, smaller than all others. Values derived from one macro-pulse
// carry the version the framework gave that pulse, so that they can be matched.
#pragma once

#include <chrono>
#include <compare>
#include <cstdint>
#include <string>

namespace Corvane {

  class VersionNumber {
   public:
    VersionNumber();
    explicit VersionNumber(std::nullptr_t) {}

    std::uint64_t value() const { return _value; }
    std::chrono::system_clock::time_point getTime() const { return _time; }
    bool isNull() const { return _value == 0; }
    explicit operator std::string() const { return "v" + std::to_string(_value); }

    friend bool operator==(const VersionNumber& a, const VersionNumber& b) { return a._value == b._value; }
    friend auto operator<=>(const VersionNumber& a, const VersionNumber& b) { return a._value <=> b._value; }

   private:
    std::uint64_t _value{0};
    std::chrono::system_clock::time_point _time{};
  };

} // namespace Corvane
