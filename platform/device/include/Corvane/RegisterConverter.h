// The conversion of one register, chosen by its encoding in the register map: fixed point,
// IEEE-754 single precision, or no data (a void register: reads give Void, writes put the
// word 1, a strobe). Converts whole arrays with one dispatch, so per-pulse arrays of many
// thousand samples cost one branch, not one per sample.
#pragma once

#include "Corvane/FixedPointConverter.h"
#include "Corvane/IEEE754Converter.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
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

    /// User values to raw words; converts every element before returning, so a refused value
    /// (NaN to fixed point, malformed text) leaves no half-converted transfer behind.
    template<RawConversion::UserType T>
    void toRaw(std::span<const T> cooked, std::span<std::int32_t> raw) const;

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
            if constexpr(std::is_same_v<Converter, FixedPointConverter> && std::is_arithmetic_v<T>) {
              const unsigned width = converter.width();
              const int frac = converter.fracBits();
              const bool isSigned = converter.isSigned();
              const std::uint32_t mask = width >= 32 ? 0xffffffffu : ((1u << width) - 1u);
              auto integer = [&](std::int32_t r) -> std::int64_t {
                std::uint32_t bits = static_cast<std::uint32_t>(r) & mask;
                if(isSigned && (bits >> (width - 1)) != 0) return std::int64_t(bits) - (std::int64_t{1} << width);
                return std::int64_t(bits);
              };
              if constexpr(std::is_floating_point_v<T>) {
                const double scale = std::ldexp(1.0, -frac);
                for(std::size_t i = 0; i < raw.size(); ++i) cooked[i] = static_cast<T>(double(integer(raw[i])) * scale);
                return;
              }
              else if constexpr(!std::is_same_v<T, bool>) {
                if(frac == 0) {
                  for(std::size_t i = 0; i < raw.size(); ++i) {
                    auto v = integer(raw[i]);
                    v = std::clamp<std::int64_t>(v, std::int64_t(std::numeric_limits<T>::lowest()),
                        std::int64_t(std::min<std::uint64_t>(std::numeric_limits<T>::max(), INT64_MAX)));
                    cooked[i] = static_cast<T>(v);
                  }
                  return;
                }
              }
            }
            for(std::size_t i = 0; i < raw.size(); ++i) cooked[i] = converter.template toCooked<T>(raw[i]);
          }
        },
        _converter);
  }

  template<RawConversion::UserType T>
  void RegisterConverter::toRaw(std::span<const T> cooked, std::span<std::int32_t> raw) const {
    std::visit(
        [&](const auto& converter) {
          using Converter = std::decay_t<decltype(converter)>;
          if constexpr(std::is_same_v<Converter, NoData>) {
            if constexpr(!RawConversion::isVoid<T>) throwNoData(converter.registerPath, RawConversion::typeName<T>());
            for(auto& word : raw) word = 1;
          }
          else {
            for(std::size_t i = 0; i < cooked.size(); ++i) raw[i] = converter.template toRaw<T>(cooked[i]);
          }
        },
        _converter);
  }

} // namespace Corvane
