#include "Corvane/FixedPointConverter.h"

namespace Corvane {

  FixedPointConverter::FixedPointConverter(
      std::string registerPath, unsigned width, int fracBits, bool isSigned, unsigned bitOffset)
  : _registerPath(std::move(registerPath)), _width(width), _fracBits(fracBits), _isSigned(isSigned),
    _bitOffset(bitOffset) {
    if(width < 1 || width > 32) {
      throw Corvane::logic_error("register " + _registerPath + ": fixed-point width " + std::to_string(width) +
          " outside 1..32");
    }
    if(fracBits < -maxFracBits || fracBits > maxFracBits) {
      throw Corvane::logic_error("register " + _registerPath + ": fractional bits " + std::to_string(fracBits) +
          " outside -256..256");
    }
    if(bitOffset + width > 32) {
      throw Corvane::logic_error("register " + _registerPath + ": " + std::to_string(width) + " bits from bit " +
          std::to_string(bitOffset) + " reach beyond the 32-bit word");
    }
    _mask = (width == 32) ? 0xFFFFFFFFu : ((std::uint32_t{1} << width) - 1);
    if(isSigned) {
      _minRaw = -(std::int64_t{1} << (width - 1));
      _maxRaw = (std::int64_t{1} << (width - 1)) - 1;
    }
    else {
      _minRaw = 0;
      _maxRaw = (std::int64_t{1} << width) - 1;
    }
  }

  std::int64_t FixedPointConverter::toInteger(std::int32_t raw) const {
    std::uint32_t bits = (static_cast<std::uint32_t>(raw) >> _bitOffset) & _mask;
    if(_isSigned && (bits >> (_width - 1)) != 0) {
      return static_cast<std::int64_t>(bits) - (std::int64_t{1} << _width);
    }
    return static_cast<std::int64_t>(bits);
  }

  std::int32_t FixedPointConverter::fromExact(long double value, bool* saturated) const {
    if(std::isnan(value)) {
      throw Corvane::logic_error("cannot write NaN to fixed-point register " + _registerPath);
    }
    // RawConversion::roundAndClamp, telling whether it clamped
    const auto lowest = static_cast<long double>(_minRaw), highest = static_cast<long double>(_maxRaw);
    auto rounded = std::round(value);
    bool beyond = rounded < lowest || rounded > highest;
    if(saturated) *saturated = beyond;
    auto integer = static_cast<std::int64_t>(beyond ? (rounded < lowest ? lowest : highest) : rounded);
    // in range of the register, so the word is the value sign- or zero-extended
    return std::bit_cast<std::int32_t>(static_cast<std::uint32_t>(integer) << _bitOffset);
  }

} // namespace Corvane
