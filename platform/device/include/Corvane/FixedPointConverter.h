// Conversion between the raw 32-bit words of a fixed-point register and user values.
//
// A register of `width` bits (1..32, the low bits of the word) holds the integer r, signed in
// two's complement or unsigned; its value is r * 2^-fracBits. fracBits may be negative (the
// value is a multiple of a power of two) and lies in [-256, 256].
//
// Towards the register, values round to nearest (halves away from zero) and saturate at the
// register's range: negative values written to an unsigned register give 0, infinities give
// the extreme, NaN is refused with a Corvane::logic_error naming the register (a NaN must
// never reach firmware as an arbitrary number). Towards the user, values round the same way
// and saturate at the user type's range. Words written carry the value sign-extended (signed)
// or zero-extended (unsigned) to 32 bits.
//
// With a bit offset the register's bits start at that bit of the word (a bit field): reads take
// the bits from there, and written words carry the value shifted there (the bits above the field
// are not meaningful; the writer keeps the word's other bits, see RegisterInfo::mergeInto).
#pragma once

#include "Corvane/RawConversion.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>

namespace Corvane {

  class FixedPointConverter {
   public:
    static constexpr int maxFracBits = 256;

    /// Throws Corvane::logic_error naming `registerPath` for a width outside 1..32, fracBits
    /// outside [-256, 256], or a field beyond the word (bitOffset + width > 32).
    explicit FixedPointConverter(std::string registerPath, unsigned width = 32, int fracBits = 0,
        bool isSigned = true, unsigned bitOffset = 0);

    template<RawConversion::UserType T>
    T toCooked(std::int32_t raw) const;

    /// With `saturated`, sets it when the register cannot hold the value (it holds the extreme
    /// of its range then).
    template<RawConversion::UserType T>
    std::int32_t toRaw(const T& value, bool* saturated = nullptr) const;

    /// Exact value of a raw word.
    long double toExact(std::int32_t raw) const { return std::ldexp(static_cast<long double>(toInteger(raw)), -_fracBits); }

    /// Raw word of an exact value: rounded and saturated (reported in `saturated` when given),
    /// NaN refused.
    std::int32_t fromExact(long double value, bool* saturated = nullptr) const;

    const std::string& registerPath() const { return _registerPath; }
    unsigned width() const { return _width; }
    int fracBits() const { return _fracBits; }
    unsigned bitOffset() const { return _bitOffset; }
    bool isSigned() const { return _isSigned; }

    /// Range of the register's integer r.
    std::int64_t minRaw() const { return _minRaw; }
    std::int64_t maxRaw() const { return _maxRaw; }

   private:
    /// The register's integer r from a word (low `width` bits, sign-extended when signed).
    std::int64_t toInteger(std::int32_t raw) const;

    std::string _registerPath;
    unsigned _width;
    int _fracBits;
    bool _isSigned;
    unsigned _bitOffset;
    std::int64_t _minRaw;
    std::int64_t _maxRaw;
    std::uint32_t _mask;
  };

  template<RawConversion::UserType T>
  T FixedPointConverter::toCooked(std::int32_t raw) const {
    if constexpr(RawConversion::isVoid<T>) {
      return T{};
    }
    else if constexpr(RawConversion::isBoolean<T>) {
      return T(toInteger(raw) != 0);
    }
    else if constexpr(std::is_same_v<T, std::string>) {
      return RawConversion::formatExact(toExact(raw));
    }
    else if constexpr(RawConversion::Floating<T>) {
      return RawConversion::toFloating<T>(toExact(raw));
    }
    else {
      return RawConversion::roundToInteger<T>(toExact(raw));
    }
  }

  template<RawConversion::UserType T>
  std::int32_t FixedPointConverter::toRaw(const T& value, bool* saturated) const {
    if constexpr(RawConversion::isVoid<T>) {
      // a Void write is a strobe: it writes the value one
      return fromExact(std::ldexp(1.0L, _fracBits));
    }
    else if constexpr(RawConversion::isBoolean<T>) {
      return fromExact(static_cast<bool>(value) ? std::ldexp(1.0L, _fracBits) : 0.0L);
    }
    else if constexpr(std::is_same_v<T, std::string>) {
      return fromExact(std::ldexp(RawConversion::parseOrThrow(value, _registerPath), _fracBits), saturated);
    }
    else {
      return fromExact(std::ldexp(static_cast<long double>(value), _fracBits), saturated);
    }
  }

} // namespace Corvane
