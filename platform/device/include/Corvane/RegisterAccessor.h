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

   protected:
    void decodeFrom(std::span<const std::int32_t> raw) override {
      _converter.toCooked<T>(raw, std::span<T>(_value));
    }

    void encode() override {
      if(_value.size() != _raw.size()) {
        throw Corvane::logic_error("device \"" + getDeviceName() + "\": register " + getRegisterInfo().path +
            ": accessor of " + std::to_string(_raw.size()) + " elements holds " + std::to_string(_value.size()) +
            " values");
      }
      _converter.toRaw<T>(std::span<const T>(_value), std::span<std::int32_t>(_raw));
    }

   private:
    std::vector<T> _value;
  };

} // namespace Corvane
