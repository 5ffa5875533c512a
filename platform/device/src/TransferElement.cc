#include "Corvane/TransferElement.h"

#include "Corvane/Exception.h"
#include "Corvane/Logger.h"

namespace Corvane {

  TransferElement::TransferElement(std::shared_ptr<DeviceBackend> backend, std::string deviceName,
      const RegisterInfo& info, std::size_t nElements, std::size_t offset)
  : _raw(nElements), _converter(info.converter()), _backend(std::move(backend)), _deviceName(std::move(deviceName)),
    _info(&info), _offset(offset) {}

  std::string TransferElement::context(const char* action) const {
    return "device \"" + _deviceName + "\": " + action + " register " + _info->path;
  }

  void TransferElement::checkReadable() const {
    if(!_info->isReadable()) {
      throw Corvane::logic_error("device \"" + _deviceName + "\": register " + _info->path + " is write-only (" +
          _info->location() + ") and cannot be read");
    }
  }

  void TransferElement::checkWritable() const {
    if(!_info->isWritable()) {
      throw Corvane::logic_error("device \"" + _deviceName + "\": register " + _info->path + " is " +
          (_info->isInterrupt() ? "an interrupt register" : "read-only") + " (" + _info->location() +
          ") and cannot be written");
    }
  }

  void TransferElement::read() {
    checkReadable();
    bool decoded = false;
    if(!_raw.empty()) {
      try {
        decoded = _backend->readInPlace(_info->bar, byteAddress(), byteSize(),
            [this](std::span<const std::int32_t> words) { decodeFrom(words); });
        if(!decoded) _backend->read(_info->bar, byteAddress(), _raw.data(), byteSize());
      }
      catch(...) {
        rethrowTransferError(context("reading"));
      }
    }
    if(!decoded) decode();
  }

  void TransferElement::write() {
    convertForWrite();
    writeConverted();
  }

  void TransferElement::convertForWrite() {
    checkWritable();
    encode();
  }

  void TransferElement::writeConverted() {
    checkWritable();
    if(_raw.empty()) return;
    try {
      if(_info->isBitField) _backend->writeBits(_info->bar, byteAddress(), _raw.data(), byteSize(), _info->bitMask());
      else _backend->write(_info->bar, byteAddress(), _raw.data(), byteSize());
    }
    catch(...) {
      rethrowTransferError(context("writing"));
    }
  }

  void TransferElement::noteSaturation(
      const RegisterConverter::Saturation& saturation, const std::function<std::string()>& describe) {
    bool episodeStarts = saturation.count > 0 && _saturation.count == 0;
    _saturation = saturation;
    if(!episodeStarts) return;
    std::string text = "register " + _info->path + " cannot hold " + describe();
    if(_raw.size() > 1) {
      text += " (element " + std::to_string(_offset + saturation.firstIndex) + "; " + std::to_string(saturation.count) +
          " of " + std::to_string(_raw.size()) + " values written saturated)";
    }
    Logger::instance().log(Logger::Severity::warning, "Device " + _deviceName, text);
  }

  void TransferElement::rethrowTransferError(const std::string& context) {
    try {
      throw;
    }
    catch(const std::logic_error& e) {
      throw Corvane::logic_error(context + ": " + e.what());
    }
    catch(const std::exception& e) {
      throw Corvane::runtime_error(context + ": " + e.what());
    }
    catch(...) {
      throw Corvane::runtime_error(context + ": unknown error");
    }
  }

} // namespace Corvane
