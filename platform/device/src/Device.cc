#include "Corvane/Device.h"

#include "Corvane/Exception.h"

namespace Corvane {

  Device::Device(const std::string& aliasOrDescriptor)
  : _name(aliasOrDescriptor), _backend(BackendFactory::getInstance().createBackend(aliasOrDescriptor)) {}

  void Device::open(const std::string& aliasOrDescriptor) {
    *this = Device(aliasOrDescriptor);
    open();
  }

  void Device::checkAttached() const {
    if(!_backend) throw Corvane::logic_error("device access through a Device that names no device");
  }

  void Device::open() {
    checkAttached();
    try {
      _backend->open();
    }
    catch(...) {
      TransferElement::rethrowTransferError("device \"" + _name + "\": opening");
    }
  }

  void Device::close() {
    checkAttached();
    _backend->close();
  }

  bool Device::isOpened() const { return _backend && _backend->isOpen(); }

  const RegisterMap& Device::getRegisterMap() const {
    checkAttached();
    return _backend->getRegisterMap();
  }

  const RegisterInfo& Device::getRegisterInfo(const std::string& registerPath) const {
    checkAttached();
    try {
      return _backend->getRegisterMap().getRegister(registerPath);
    }
    catch(const Corvane::logic_error& e) {
      throw Corvane::logic_error("device \"" + _name + "\": " + e.what());
    }
  }

  std::string Device::readDeviceInfo() const {
    checkAttached();
    return _backend->readDeviceInfo();
  }

  const RegisterInfo& Device::checkedRange(
      const std::string& registerPath, std::size_t& nElements, std::size_t offset) const {
    const auto& info = getRegisterInfo(registerPath);
    if(offset > info.nElements || nElements > info.nElements - offset) {
      throw Corvane::logic_error("device \"" + _name + "\": register " + info.path + " has " +
          std::to_string(info.nElements) + " elements, cannot access " + std::to_string(nElements) +
          " at offset " + std::to_string(offset) + " (" + info.location() + ")");
    }
    if(nElements == 0) {
      nElements = info.nElements - offset;
      if(nElements == 0 && info.nElements > 0) {
        throw Corvane::logic_error("device \"" + _name + "\": offset " + std::to_string(offset) +
            " lies at the end of register " + info.path + " (" + info.location() + ")");
      }
    }
    return info;
  }

  InterruptSubscription Device::subscribeInterrupt(
      const std::string& registerPath, InterruptDispatcher::Callback callback) const {
    const auto& info = getRegisterInfo(registerPath);
    if(!info.isInterrupt()) {
      throw Corvane::logic_error("device \"" + _name + "\": register " + info.path + " is no INTERRUPT register (" +
          info.location() + ")");
    }
    return _backend->subscribeInterrupt(info.interruptNumber, std::move(callback));
  }

} // namespace Corvane
