// Conversion of values between process-variable types, used where the feeder and a consumer
// of one variable declare different types.
//
// Numbers round to nearest and clamp at the target's range; non-zero is true for Boolean;
// NaN to an integer gives 0 and marks the value faulty. Strings convert only to strings,
// anything converts to Void.
#pragma once

#include "Corvane/Types.h"

#include <cmath>
#include <limits>
#include <type_traits>

namespace Corvane {

  template<class From, class To>
  constexpr bool isConvertible() {
    if constexpr(std::is_same_v<To, Void>) return true;
    else if constexpr(std::is_same_v<From, To>) return true;
    else if constexpr(std::is_same_v<From, std::string> || std::is_same_v<To, std::string>) return false;
    else if constexpr(std::is_same_v<From, Void>) return false;
    else return true;
  }

  bool isConvertible(DataType from, DataType to);

  /// Converts one value. Sets `faulty` when the value could not be represented (NaN to integer).
  template<class To, class From>
  To convertValue(const From& from, bool& faulty) {
    if constexpr(std::is_same_v<To, From>) {
      return from;
    }
    else if constexpr(std::is_same_v<To, Void>) {
      return Void{};
    }
    else if constexpr(std::is_same_v<To, Boolean>) {
      if constexpr(std::is_floating_point_v<From>) return Boolean(from != 0 && !std::isnan(from));
      else return Boolean(static_cast<bool>(from));
    }
    else if constexpr(!isConvertible<From, To>()) {
      static_assert(sizeof(From) == 0, "no conversion between these types");
    }
    else if constexpr(std::is_same_v<From, Boolean>) {
      return static_cast<To>(static_cast<bool>(from) ? 1 : 0);
    }
    else if constexpr(std::is_floating_point_v<To>) {
      return static_cast<To>(from);
    }
    else if constexpr(std::is_floating_point_v<From>) {
      // floating point to integer: round to nearest, clamp, NaN gives 0 and a fault
      if(std::isnan(from)) {
        faulty = true;
        return To{0};
      }
      long double rounded = std::round(static_cast<long double>(from));
      if(rounded <= static_cast<long double>(std::numeric_limits<To>::min())) return std::numeric_limits<To>::min();
      if(rounded >= static_cast<long double>(std::numeric_limits<To>::max())) return std::numeric_limits<To>::max();
      return static_cast<To>(rounded);
    }
    else {
      // integer to integer: clamp
      if constexpr(std::is_signed_v<From> && !std::is_signed_v<To>) {
        if(from < 0) return To{0};
      }
      if constexpr(std::is_signed_v<To> && !std::is_signed_v<From>) {
        if(from > static_cast<std::make_unsigned_t<To>>(std::numeric_limits<To>::max()))
          return std::numeric_limits<To>::max();
        return static_cast<To>(from);
      }
      else if constexpr(std::is_signed_v<To> && std::is_signed_v<From>) {
        if(from < std::numeric_limits<To>::min()) return std::numeric_limits<To>::min();
        if(from > std::numeric_limits<To>::max()) return std::numeric_limits<To>::max();
        return static_cast<To>(from);
      }
      else {
        // both unsigned, or signed source already known non-negative
        using Wide = unsigned long long;
        if(static_cast<Wide>(from) > static_cast<Wide>(std::numeric_limits<To>::max()))
          return std::numeric_limits<To>::max();
        return static_cast<To>(from);
      }
    }
  }

} // namespace Corvane
