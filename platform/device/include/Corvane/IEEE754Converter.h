// Conversion between the raw 32-bit words of an IEEE-754 single-precision register and user
// values. The word is the bit pattern of the float.
//
// Towards the register: NaN and infinities are kept (the format has them), finite values
// beyond the float range saturate at the largest finite float, everything else rounds to
// the nearest float. Towards an integer user type: rounding to nearest (halves away from
// zero), saturation at the type's range, and NaN reads as 0 (an integer has no NaN; the
// framework's network conversion marks such values itself where it matters).
#pragma once

#include "Corvane/RawConversion.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace Corvane {

  class IEEE754Converter {
   public:
    explicit IEEE754Converter(std::string registerPath) : _registerPath(std::move(registerPath)) {}

    template<RawConversion::UserType T>
    T toCooked(std::int32_t raw) const;

    /// With `saturated`, sets it when a finite value lies beyond the float range (it becomes
    /// the largest finite float of its sign).
    template<RawConversion::UserType T>
    std::int32_t toRaw(const T& value, bool* saturated = nullptr) const;

    const std::string& registerPath() const { return _registerPath; }

   private:
    static float asFloat(std::int32_t raw) { return std::bit_cast<float>(raw); }
    static std::int32_t fromFloat(float value) { return std::bit_cast<std::int32_t>(value); }
    static std::int32_t fromExact(long double value, bool* saturated) {
      if(saturated) *saturated = std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max();
      return fromFloat(RawConversion::toFloating<float>(value));
    }

    std::string _registerPath;
  };

  template<RawConversion::UserType T>
  T IEEE754Converter::toCooked(std::int32_t raw) const {
    float value = asFloat(raw);
    if constexpr(RawConversion::isVoid<T>) {
      return T{};
    }
    else if constexpr(RawConversion::isBoolean<T>) {
      return T(value != 0.0f && !std::isnan(value));
    }
    else if constexpr(std::is_same_v<T, std::string>) {
      return RawConversion::formatFloating(value);
    }
    else if constexpr(RawConversion::Floating<T>) {
      return static_cast<T>(value);
    }
    else {
      if(std::isnan(value)) return T{0};
      return RawConversion::roundToInteger<T>(static_cast<long double>(value));
    }
  }

  template<RawConversion::UserType T>
  std::int32_t IEEE754Converter::toRaw(const T& value, bool* saturated) const {
    if constexpr(RawConversion::isVoid<T>) {
      return fromFloat(1.0f);
    }
    else if constexpr(RawConversion::isBoolean<T>) {
      return fromFloat(static_cast<bool>(value) ? 1.0f : 0.0f);
    }
    else if constexpr(std::is_same_v<T, std::string>) {
      return fromExact(RawConversion::parseOrThrow(value, _registerPath), saturated);
    }
    else {
      return fromExact(static_cast<long double>(value), saturated);
    }
  }

} // namespace Corvane
