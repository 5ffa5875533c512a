// The conversion of one register, chosen by its encoding in the register map: fixed point,
// IEEE-754 single precision, or no data (a void register: reads give Void, writes put the
// word 1, a strobe). Converts whole arrays with one dispatch, so per-pulse arrays of many
// thousand samples cost one branch, not one per sample.
#pragma once

#include "Corvane/FixedPointConverter.h"
#include "Corvane/IEEE754Converter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <variant>

namespace Corvane {

  class RegisterConverter {
   public:
    /// Converter of a register without data.
    struct NoData {
      std::string registerPath;
    };

    explicit RegisterConverter(FixedPointConverter converter) : _converter(std::move(converter)) {}
    explicit RegisterConverter(IEEE754Converter converter) : _converter(std::move(converter)) {}
    explicit RegisterConverter(NoData converter) : _converter(std::move(converter)) {}

    /// Raw words to user values; `cooked` must be as long as `raw`.
    template<RawConversion::UserType T>
    void toCooked(std::span<const std::int32_t> raw, std::span<T> cooked) const;

    /// Elements of a conversion towards the register that the register cannot hold (beyond its
    /// range: it holds the extreme of the range instead).
    struct Saturation {
      std::size_t count{0};      ///< saturated elements
      std::size_t firstIndex{0}; ///< the first of them (when count > 0)
    };

    /// User values to raw words; converts every element before returning, so a refused value
    /// (NaN to fixed point, malformed text) leaves no half-converted transfer behind. With
    /// `saturation`, reports the elements that saturated.
    template<RawConversion::UserType T>
    void toRaw(std::span<const T> cooked, std::span<std::int32_t> raw, Saturation* saturation = nullptr) const;

    template<RawConversion::UserType T>
    T toCooked(std::int32_t raw) const {
      T value{};
      toCooked<T>(std::span<const std::int32_t>(&raw, 1), std::span<T>(&value, 1));
      return value;
    }

    template<RawConversion::UserType T>
    std::int32_t toRaw(const T& value) const {
      std::int32_t raw{};
      toRaw<T>(std::span<const T>(&value, 1), std::span<std::int32_t>(&raw, 1));
      return raw;
    }

    bool isFixedPoint() const { return std::holds_alternative<FixedPointConverter>(_converter); }
    bool isIEEE754() const { return std::holds_alternative<IEEE754Converter>(_converter); }
    bool hasData() const { return !std::holds_alternative<NoData>(_converter); }

   private:
    /// Whole-array fixed-point decoding without per-element range checks, for the common cases
    /// (any fraction to floating point, integers into a type that holds every value of the
    /// register). Branch-free, so the compiler vectorises it. False when the case is not covered.
    template<class T>
    static bool fixedPointToCooked(const FixedPointConverter& converter, std::span<const std::int32_t> raw,
        std::span<T> cooked);

    /// Whole-array encoding of floating-point values without the per-element long double path,
    /// with the same results (rounding, saturation). False when the case is not covered or an
    /// element is NaN towards fixed point (the element-wise path then refuses it).
    template<class T>
    static bool floatingToRaw(const FixedPointConverter& converter, std::span<const T> cooked, std::span<std::int32_t> raw);
    template<class T>
    static bool floatingToRaw(const IEEE754Converter& converter, std::span<const T> cooked, std::span<std::int32_t> raw);

    [[noreturn]] static void throwNoData(const std::string& registerPath, std::string_view typeName);

    std::variant<FixedPointConverter, IEEE754Converter, NoData> _converter;
  };

  template<RawConversion::UserType T>
  void RegisterConverter::toCooked(std::span<const std::int32_t> raw, std::span<T> cooked) const {
    std::visit(
        [&](const auto& converter) {
          using Converter = std::decay_t<decltype(converter)>;
          if constexpr(std::is_same_v<Converter, NoData>) {
            if constexpr(!RawConversion::isVoid<T>) throwNoData(converter.registerPath, RawConversion::typeName<T>());
          }
          else {
            if constexpr(std::is_same_v<Converter, FixedPointConverter> && std::is_arithmetic_v<T> &&
                !std::is_same_v<T, bool>) {
              if(fixedPointToCooked(converter, raw, cooked)) return;
            }
            for(std::size_t i = 0; i < raw.size(); ++i) cooked[i] = converter.template toCooked<T>(raw[i]);
          }
        },
        _converter);
  }

  template<class T>
  bool RegisterConverter::fixedPointToCooked(
      const FixedPointConverter& converter, std::span<const std::int32_t> raw, std::span<T> cooked) {
    const unsigned width = converter.width(); // 1..32
    const int frac = converter.fracBits();
    const bool isSigned = converter.isSigned();
    const unsigned shift = 32 - width;
    const unsigned toTop = shift - converter.bitOffset(); // moves the field's top bit to bit 31
    const std::size_t n = raw.size();
    const std::int32_t* in = raw.data();
    T* out = cooked.data();
    // the register's integer: `width` bits from its bit offset, sign-extended when signed
    auto signedValue = [shift, toTop](std::int32_t r) {
      return static_cast<std::int32_t>(static_cast<std::uint32_t>(r) << toTop) >> shift;
    };
    auto unsignedValue = [shift, toTop](std::int32_t r) { return (static_cast<std::uint32_t>(r) << toTop) >> shift; };
    if constexpr(std::is_floating_point_v<T>) {
      // r * 2^-frac is exact in double; the cast to T rounds once, as the element-wise path does
      const double scale = std::ldexp(1.0, -frac);
      if(isSigned) {
        for(std::size_t i = 0; i < n; ++i) out[i] = static_cast<T>(double(signedValue(in[i])) * scale);
      }
      else {
        for(std::size_t i = 0; i < n; ++i) out[i] = static_cast<T>(double(unsignedValue(in[i])) * scale);
      }
      return true;
    }
    else {
      if(frac != 0) return false;
      constexpr int valueBits = std::numeric_limits<T>::digits; // without the sign bit
      if(isSigned) {
        if(!std::is_signed_v<T> || int(width) > valueBits + 1) return false;
        if(width == 32 && sizeof(T) == 4) { // a full word has no bit offset
          std::memcpy(out, in, n * 4);
        }
        else {
          for(std::size_t i = 0; i < n; ++i) out[i] = static_cast<T>(signedValue(in[i]));
        }
      }
      else {
        if(int(width) > valueBits) return false;
        for(std::size_t i = 0; i < n; ++i) out[i] = static_cast<T>(unsignedValue(in[i]));
      }
      return true;
    }
  }

  template<class T>
  bool RegisterConverter::floatingToRaw(
      const FixedPointConverter& converter, std::span<const T> cooked, std::span<std::int32_t> raw) {
    // value * 2^frac is exact in double unless it leaves the double range, where the clamp
    // below gives the same extreme as the exact value would
    if(converter.fracBits() < -1000 || converter.fracBits() > 1000) return false;
    const double scale = std::ldexp(1.0, converter.fracBits());
    const auto lowest = static_cast<double>(converter.minRaw()), highest = static_cast<double>(converter.maxRaw());
    const unsigned offset = converter.bitOffset();
    bool refused = false;
    for(std::size_t i = 0; i < cooked.size(); ++i) {
      const double rounded = std::round(static_cast<double>(cooked[i]) * scale);
      refused |= std::isnan(rounded);
      const double limited = rounded < lowest ? lowest : (rounded > highest ? highest : rounded);
      const auto integer = static_cast<std::int64_t>(std::isnan(limited) ? 0.0 : limited);
      raw[i] = std::bit_cast<std::int32_t>(static_cast<std::uint32_t>(integer) << offset);
    }
    return !refused;
  }

  template<class T>
  bool RegisterConverter::floatingToRaw(const IEEE754Converter&, std::span<const T> cooked, std::span<std::int32_t> raw) {
    constexpr auto highest = static_cast<double>(std::numeric_limits<float>::max());
    for(std::size_t i = 0; i < cooked.size(); ++i) {
      const auto value = static_cast<double>(cooked[i]);
      // finite values beyond the float range saturate; NaN and infinities are kept
      const float single = value > highest && value != std::numeric_limits<double>::infinity() ? std::numeric_limits<float>::max()
          : value < -highest && value != -std::numeric_limits<double>::infinity()             ? std::numeric_limits<float>::lowest()
                                                                                               : static_cast<float>(value);
      raw[i] = std::bit_cast<std::int32_t>(single);
    }
    return true;
  }

  template<RawConversion::UserType T>
  void RegisterConverter::toRaw(std::span<const T> cooked, std::span<std::int32_t> raw, Saturation* saturation) const {
    if(saturation) *saturation = {};
    std::visit(
        [&](const auto& converter) {
          using Converter = std::decay_t<decltype(converter)>;
          if constexpr(std::is_same_v<Converter, NoData>) {
            if constexpr(!RawConversion::isVoid<T>) throwNoData(converter.registerPath, RawConversion::typeName<T>());
            for(auto& word : raw) word = 1;
          }
          else if(!saturation) {
            if constexpr(std::is_same_v<T, double> || std::is_same_v<T, float>) {
              if(floatingToRaw(converter, cooked, raw)) return;
            }
            for(std::size_t i = 0; i < cooked.size(); ++i) raw[i] = converter.template toRaw<T>(cooked[i]);
          }
          else {
            for(std::size_t i = 0; i < cooked.size(); ++i) {
              bool saturated = false;
              raw[i] = converter.template toRaw<T>(cooked[i], &saturated);
              if(saturated && saturation->count++ == 0) saturation->firstIndex = i;
            }
          }
        },
        _converter);
  }

} // namespace Corvane
