// A device seen by its registers: the application's entry to the device access.
//
//   Corvane::setDMapFilePath("tessarel.dmap");
//   Corvane::Device board("Controller");           // shares the backend, does not open
//   board.open();
//   auto status = board.readScalar<uint32_t>("/Controller/Status/controllerStatus");
//   board.write<double>("Controller.FeedForward.I", table);
//
// Register paths may use "." or "/" and an optional leading separator. Configuration errors
// are Corvane::logic_error: an unknown path (naming path and map file), an element range
// outside the register, reading a write-only or writing a read-only register. Faults of the
// device are Corvane::runtime_error naming the device and register; the framework's
// recovery closes and reopens. A Device is cheap to copy (copies share the backend) and may
// be used from several threads.
#pragma once

#include "Corvane/BackendFactory.h"
#include "Corvane/RegisterAccessor.h"

#include <memory>
#include <string>
#include <vector>

namespace Corvane {

  class Device {
   public:
    Device() = default;

    /// Attaches to the shared backend of an alias (through the current dmap file) or of a
    /// descriptor "(TYPE:ADDRESS?...)", creating it if nobody has; does not open it.
    explicit Device(const std::string& aliasOrDescriptor);

    /// Attaches (as the constructor) and opens.
    void open(const std::string& aliasOrDescriptor);

    /// Opens the attached backend; on an open one it re-establishes access.
    void open();
    void close();
    bool isOpened() const;
    bool isAttached() const { return _backend != nullptr; }

    /// The alias or descriptor this device was attached by.
    const std::string& getName() const { return _name; }

    const RegisterMap& getRegisterMap() const;
    const RegisterInfo& getRegisterInfo(const std::string& registerPath) const;
    const std::shared_ptr<DeviceBackend>& getBackend() const { return _backend; }
    std::string readDeviceInfo() const;

    /// Accessor of nElements elements from `offset` (nElements 0: all from offset to the end).
    template<RawConversion::UserType T>
    std::shared_ptr<RegisterAccessor<T>> getRegisterAccessor(
        const std::string& registerPath, std::size_t nElements = 0, std::size_t offset = 0) const;

    template<RawConversion::UserType T>
    std::vector<T> read(const std::string& registerPath, std::size_t nElements = 0, std::size_t offset = 0) const {
      auto accessor = getRegisterAccessor<T>(registerPath, nElements, offset);
      accessor->read();
      return std::move(accessor->value());
    }

    template<RawConversion::UserType T>
    T readScalar(const std::string& registerPath, std::size_t offset = 0) const {
      return read<T>(registerPath, 1, offset).front();
    }

    /// Writes values.size() elements from `offset`; every value is converted before any is written.
    template<RawConversion::UserType T>
    void write(const std::string& registerPath, const std::vector<T>& values, std::size_t offset = 0) const {
      if(values.empty()) {
        throw Corvane::logic_error("device \"" + _name + "\": no values to write to register " + registerPath);
      }
      auto accessor = getRegisterAccessor<T>(registerPath, values.size(), offset);
      accessor->value() = values;
      accessor->write();
    }

    template<RawConversion::UserType T>
    void writeScalar(const std::string& registerPath, const T& value, std::size_t offset = 0) const {
      write<T>(registerPath, std::vector<T>{value}, offset);
    }

    /// Calls `callback` whenever the interrupt of an INTERRUPT register fires (then read the
    /// register to get its data). logic_error for other registers.
    InterruptSubscription subscribeInterrupt(const std::string& registerPath, InterruptDispatcher::Callback callback) const;

   private:
    void checkAttached() const;
    /// The register, with its element range checked; nElements 0 becomes "to the end".
    const RegisterInfo& checkedRange(const std::string& registerPath, std::size_t& nElements, std::size_t offset) const;

    std::string _name;
    std::shared_ptr<DeviceBackend> _backend;
  };

  template<RawConversion::UserType T>
  std::shared_ptr<RegisterAccessor<T>> Device::getRegisterAccessor(
      const std::string& registerPath, std::size_t nElements, std::size_t offset) const {
    const auto& info = checkedRange(registerPath, nElements, offset);
    return std::make_shared<RegisterAccessor<T>>(_backend, _name, info, nElements, offset);
  }

} // namespace Corvane
