// Building blocks shared by the register converters: which C++ types a register can be read
// as, exact rounding and clamping of a value onto a range, and decimal text for string access.
//
// Values are carried through long double, whose 64-bit mantissa holds every int64/uint64 and
// every raw word scaled by a power of two exactly, so each conversion rounds only once.
#pragma once

#include "Corvane/Exception.h"

#include <charconv>
#include <cmath>
#include <concepts>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#if __has_include(<Corvane/Types.h>)
#  include <Corvane/Types.h>
#  define CORVANE_DEVICE_HAS_FRAMEWORK_TYPES 1
#endif

namespace Corvane::RawConversion {

  static_assert(std::numeric_limits<long double>::digits >= 64,
      "raw conversions need a long double that holds 64-bit integers exactly");

  /// int8..uint64 (bool and character types excluded).
  template<class T>
  concept Integer = std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char> &&
      !std::is_same_v<T, char8_t> && !std::is_same_v<T, char16_t> && !std::is_same_v<T, char32_t> &&
      !std::is_same_v<T, wchar_t>;

  template<class T>
  concept Floating = std::is_same_v<T, float> || std::is_same_v<T, double>;

#ifdef CORVANE_DEVICE_HAS_FRAMEWORK_TYPES
  template<class T>
  inline constexpr bool isBoolean = std::is_same_v<T, Corvane::Boolean>;
  template<class T>
  inline constexpr bool isVoid = std::is_same_v<T, Corvane::Void>;
#else
  template<class T>
  inline constexpr bool isBoolean = false;
  template<class T>
  inline constexpr bool isVoid = false;
#endif

  /// Types a register can be read as and written from.
  template<class T>
  concept UserType = Integer<T> || Floating<T> || std::is_same_v<T, std::string> || isBoolean<T> || isVoid<T>;

  /// Rounds to nearest (halves away from zero) and clamps to [lowest, highest]. NaN is the
  /// caller's business; infinities clamp.
  inline long double roundAndClamp(long double exact, long double lowest, long double highest) {
    long double rounded = std::round(exact);
    if(rounded < lowest) return lowest;
    if(rounded > highest) return highest;
    return rounded;
  }

  /// Rounds and clamps onto the range of an integer type and converts.
  template<Integer T>
  T roundToInteger(long double exact) {
    return static_cast<T>(roundAndClamp(exact, static_cast<long double>(std::numeric_limits<T>::lowest()),
        static_cast<long double>(std::numeric_limits<T>::max())));
  }

  /// Converts to float or double, clamping finite values beyond the type's range to its largest
  /// finite value (a finite number never becomes infinite); infinities and NaN pass.
  template<Floating T>
  T toFloating(long double value) {
    constexpr auto highest = static_cast<long double>(std::numeric_limits<T>::max());
    if(std::isfinite(value)) {
      if(value > highest) return std::numeric_limits<T>::max();
      if(value < -highest) return std::numeric_limits<T>::lowest();
    }
    return static_cast<T>(value);
  }

  /// Shortest decimal text that reads back as the same value: integers without a fraction,
  /// other values in the shortest round-trip form of T ("nan", "inf", "-inf" for the specials).
  template<Floating T>
  std::string formatFloating(T value) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    return std::string(buffer, result.ptr);
  }

  /// Decimal text of an exact value: integers that fit 64 bits are written as integers.
  inline std::string formatExact(long double value) {
    if(std::isfinite(value) && value == std::trunc(value)) {
      if(value >= 0 && value <= static_cast<long double>(std::numeric_limits<std::uint64_t>::max())) {
        return std::to_string(static_cast<std::uint64_t>(value));
      }
      if(value < 0 && value >= static_cast<long double>(std::numeric_limits<std::int64_t>::lowest())) {
        return std::to_string(static_cast<std::int64_t>(value));
      }
    }
    return formatFloating(static_cast<double>(value));
  }

  /// Parses decimal text (an optional sign, an integer or a floating-point number, "nan",
  /// "inf"). Integers of up to 64 bits stay exact. Returns nothing for malformed text.
  inline std::optional<long double> parseDecimal(std::string_view text) {
    if(!text.empty() && text.front() == '+') text.remove_prefix(1);
    if(text.empty()) return std::nullopt;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if(text.front() == '-') {
      std::int64_t integer{};
      auto result = std::from_chars(first, last, integer);
      if(result.ec == std::errc{} && result.ptr == last) return static_cast<long double>(integer);
    }
    else {
      std::uint64_t integer{};
      auto result = std::from_chars(first, last, integer);
      if(result.ec == std::errc{} && result.ptr == last) return static_cast<long double>(integer);
    }
    double number{};
    auto result = std::from_chars(first, last, number);
    if(result.ptr != last) return std::nullopt;
    if(result.ec == std::errc::result_out_of_range) {
      // beyond double: treat as the infinity of its sign, which then saturates
      return (text.front() == '-') ? -std::numeric_limits<long double>::infinity()
                                   : std::numeric_limits<long double>::infinity();
    }
    if(result.ec != std::errc{}) return std::nullopt;
    return static_cast<long double>(number);
  }

  /// Name of a user type for messages.
  template<UserType T>
  constexpr std::string_view typeName() {
    if constexpr(std::is_same_v<T, std::int8_t>) return "int8";
    else if constexpr(std::is_same_v<T, std::uint8_t>) return "uint8";
    else if constexpr(std::is_same_v<T, std::int16_t>) return "int16";
    else if constexpr(std::is_same_v<T, std::uint16_t>) return "uint16";
    else if constexpr(std::is_same_v<T, std::int32_t>) return "int32";
    else if constexpr(std::is_same_v<T, std::uint32_t>) return "uint32";
    else if constexpr(std::is_same_v<T, std::int64_t>) return "int64";
    else if constexpr(std::is_same_v<T, std::uint64_t>) return "uint64";
    else if constexpr(std::is_same_v<T, float>) return "float";
    else if constexpr(std::is_same_v<T, double>) return "double";
    else if constexpr(std::is_same_v<T, std::string>) return "string";
    else if constexpr(isBoolean<T>) return "boolean";
    else if constexpr(isVoid<T>) return "void";
    else if constexpr(std::is_signed_v<T>) return "signed integer";
    else return "unsigned integer";
  }

  /// Parses text written to a register, naming the register when the text is no number.
  inline long double parseOrThrow(const std::string& text, const std::string& registerPath) {
    auto value = parseDecimal(text);
    if(!value) {
      throw Corvane::logic_error("cannot write \"" + text + "\" to register " + registerPath + ": not a number");
    }
    return *value;
  }

} // namespace Corvane::RawConversion
