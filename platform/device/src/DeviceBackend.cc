#include "Corvane/DeviceBackend.h"

#include "Corvane/Exception.h"

#include <vector>

namespace Corvane {

  DeviceBackend::DeviceBackend(std::shared_ptr<const RegisterMap> registerMap)
  : _registerMap(registerMap ? std::move(registerMap) : std::make_shared<const RegisterMap>()) {}

  InterruptSubscription DeviceBackend::subscribeInterrupt(
      std::uint32_t interruptNumber, InterruptDispatcher::Callback callback) {
    auto id = _interrupts->add(interruptNumber, std::move(callback));
    return InterruptSubscription(_interrupts, id);
  }

  void DeviceBackend::writeBits(
      std::uint8_t bar, std::uint64_t address, const std::int32_t* data, std::size_t nBytes, std::uint32_t mask) {
    std::lock_guard lock(_readModifyWriteMutex);
    std::vector<std::int32_t> words(nBytes / 4);
    read(bar, address, words.data(), nBytes);
    for(std::size_t i = 0; i < words.size(); ++i) words[i] = mergeBits(words[i], data[i], mask);
    write(bar, address, words.data(), nBytes);
  }

  bool DeviceBackend::readInPlace(std::uint8_t, std::uint64_t, std::size_t, const WordsUser&) { return false; }

  void DeviceBackend::checkTransfer(
      std::uint8_t bar, std::uint64_t address, std::size_t nBytes, std::uint64_t barSize) const {
    if(address % 4 != 0 || nBytes % 4 != 0) {
      throw Corvane::logic_error("transfer of " + std::to_string(nBytes) + " bytes at address " +
          std::to_string(address) + " of bar " + std::to_string(bar) + " is not word-aligned (" +
          getRegisterMap().fileName() + ")");
    }
    if(address > barSize || nBytes > barSize - address) {
      throw Corvane::logic_error("transfer of " + std::to_string(nBytes) + " bytes at address " +
          std::to_string(address) + " lies outside bar " + std::to_string(bar) + " of " + std::to_string(barSize) +
          " bytes (" + getRegisterMap().fileName() + ")");
    }
  }

} // namespace Corvane
