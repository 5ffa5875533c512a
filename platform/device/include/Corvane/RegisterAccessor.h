// Typed access to a register (or a range of its elements) of a device, converted through
// the register's format. Obtained from Device::getRegisterAccessor; the value buffer is
// read into and written from in place:
//
//   auto table = device.getRegisterAccessor<double>("/Controller/FeedForward/I");
//   table->value() = computeTable();
//   table->write();
//
// A 2-D area is seen flat, channel after channel (element c * nSamples + s).
#pragma once

#include "Corvane/TransferElement.h"

#include <span>
#include <string>
#include <vector>

namespace Corvane {

  template<RawConversion::UserType T>
  class RegisterAccessor : public TransferElement {
   public:
    RegisterAccessor(std::shared_ptr<DeviceBackend> backend, std::string deviceName, const RegisterInfo& info,
        std::size_t nElements, std::size_t offset)
    : TransferElement(std::move(backend), std::move(deviceName), info, nElements, offset), _value(nElements) {}

    std::vector<T>& value() { return _value; }
    const std::vector<T>& value() const { return _value; }
    T& operator[](std::size_t index) { return _value[index]; }
    const T& operator[](std::size_t index) const { return _value[index]; }
    std::size_t size() const { return _value.size(); }

    /// What the register holds after a write of the last converted value: the words of the last
    /// write (or convertForWrite()) read back, so saturated elements give the register's extremes.
    std::vector<T> convertedValue() const {
      std::vector<T> values(_raw.size());
      _converter.toCooked<T>(std::span<const std::int32_t>(_raw), std::span<T>(values));
      return values;
    }

   protected:
    void decodeFrom(std::span<const std::int32_t> raw) override {
      _converter.toCooked<T>(raw, std::span<T>(_value));
    }

    void decodeStaged(std::span<const std::int32_t> raw) override {
      if(_staged.size() != _raw.size()) _staged.resize(_raw.size());
      _converter.toCooked<T>(raw, std::span<T>(_staged));
    }

    void commitStaged() override { _value.swap(_staged); }

    void encode() override {
      if(_value.size() != _raw.size()) {
        throw Corvane::logic_error("device \"" + getDeviceName() + "\": register " + getRegisterInfo().path +
            ": accessor of " + std::to_string(_raw.size()) + " elements holds " + std::to_string(_value.size()) +
            " values");
      }
      RegisterConverter::Saturation saturation;
      _converter.toRaw<T>(std::span<const T>(_value), std::span<std::int32_t>(_raw), &saturation);
      noteSaturation(saturation, [&] {
        auto i = saturation.firstIndex;
        return format(_value[i]) + ": it holds " + format(_converter.toCooked<T>(_raw[i]));
      });
    }

   private:
    static std::string format([[maybe_unused]] const T& value) {
      if constexpr(std::is_same_v<T, std::string>) return "\"" + value + "\"";
      else if constexpr(RawConversion::Floating<T>) return RawConversion::formatFloating(value);
      else if constexpr(RawConversion::Integer<T>) return std::to_string(value);
      else return {}; // Boolean and Void never saturate
    }

    std::vector<T> _value;
    std::vector<T> _staged; // the next value of a group read, allocated at the first one
  };

} // namespace Corvane
