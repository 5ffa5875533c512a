#include "Corvane/DummyBackend.h"

#include "Corvane/BackendRegisterer.h"
#include "Corvane/Exception.h"
#include "Corvane/RegisterMapFile.h"

#include <algorithm>
#include <typeinfo>

namespace Corvane {

  namespace {
    constexpr const char* dummyBackendTypeName = "dummy";
    BackendRegisterer dummyRegisterer(dummyBackendTypeName, &DummyBackend::createInstance, {"map"});
  } // namespace

  DummyBackend::DummyBackend(const std::string& mapFileName)
  : DummyBackend(std::make_shared<const RegisterMap>(RegisterMap::load(mapFileName))) {}

  namespace {
    // Refuses a map whose bars together exceed the dummy's register space, naming the register
    // that reaches furthest.
    void checkRegisterSpace(const RegisterMap& map) {
      std::uint64_t total = 0;
      for(auto [bar, nBytes] : map.barSizes()) total += nBytes;
      if(total <= DummyBackend::maxRegisterSpaceBytes) return;
      const RegisterInfo* furthest = nullptr;
      for(const auto& info : map.registers()) {
        if(!furthest || info.address + info.nBytes > furthest->address + furthest->nBytes) furthest = &info;
      }
      throw Corvane::logic_error("dummy device (" + map.fileName() + "): the registers span " + std::to_string(total) +
          " bytes, more than the " + std::to_string(DummyBackend::maxRegisterSpaceBytes >> 20) +
          " MiB a dummy device holds (furthest: register " + furthest->path + " at " + furthest->location() + ")");
    }
  } // namespace

  DummyBackend::DummyBackend(std::shared_ptr<const RegisterMap> registerMap) : DeviceBackend(std::move(registerMap)) {
    checkRegisterSpace(getRegisterMap());
    for(auto [bar, nBytes] : getRegisterMap().barSizes()) {
      auto& words = _ownedBars[bar];
      words.assign(nBytes / 4, 0);
      _bars[bar] = std::span<std::int32_t>(words);
    }
  }

  DummyBackend::DummyBackend(std::shared_ptr<const RegisterMap> registerMap, ExternalStorage)
  : DeviceBackend(std::move(registerMap)) {
    checkRegisterSpace(getRegisterMap());
  }

  void DummyBackend::setBarStorage(std::uint8_t bar, std::span<std::int32_t> words) { _bars[bar] = words; }

  std::shared_ptr<DeviceBackend> DummyBackend::createInstance(
      const std::string& address, const std::map<std::string, std::string>& parameters) {
    return std::make_shared<DummyBackend>(registerMapFile({dummyBackendTypeName, address, parameters}));
  }

  void DummyBackend::open() {
    std::lock_guard lock(_mutex);
    if(_openFails) {
      _isOpen = false;
      throw Corvane::runtime_error("dummy device (" + getRegisterMap().fileName() + "): simulated failure to open");
    }
    _isOpen = true;
  }

  void DummyBackend::close() {
    std::lock_guard lock(_mutex);
    _isOpen = false;
  }

  bool DummyBackend::isOpen() const {
    std::lock_guard lock(_mutex);
    return _isOpen;
  }

  std::span<std::int32_t> DummyBackend::barWords(std::uint8_t bar, std::uint64_t address, std::size_t nBytes) {
    auto found = _bars.find(bar);
    if(found == _bars.end()) {
      throw Corvane::logic_error("dummy device (" + getRegisterMap().fileName() + ") has no bar " + std::to_string(bar));
    }
    checkTransfer(bar, address, nBytes, found->second.size() * 4);
    return found->second.subspan(address / 4, nBytes / 4);
  }

  std::int32_t* DummyBackend::rawWords(std::uint8_t bar, std::uint64_t address, std::size_t nWords) {
    return barWords(bar, address, nWords * 4).data();
  }

  /// Holds lockStorage() for a scope, also when the reader of an in-place view throws.
  class DummyBackend::StorageGuard {
   public:
    explicit StorageGuard(DummyBackend& backend) : _backend(backend) { _backend.lockStorage(); }
    ~StorageGuard() { _backend.unlockStorage(); }
    StorageGuard(const StorageGuard&) = delete;
    StorageGuard& operator=(const StorageGuard&) = delete;

   private:
    DummyBackend& _backend;
  };

  std::span<const std::int32_t> DummyBackend::clientReadWords(
      std::uint8_t bar, std::uint64_t address, std::size_t nBytes) {
    auto words = barWords(bar, address, nBytes);
    if(!_isOpen) throw Corvane::runtime_error("dummy device (" + getRegisterMap().fileName() + ") is not open");
    if(_readFails) throw Corvane::runtime_error("dummy device (" + getRegisterMap().fileName() + "): simulated read failure");
    return words;
  }

  void DummyBackend::read(std::uint8_t bar, std::uint64_t address, std::int32_t* data, std::size_t nBytes) {
    std::lock_guard lock(_mutex);
    auto words = clientReadWords(bar, address, nBytes);
    StorageGuard storage(*this);
    std::copy(words.begin(), words.end(), data);
  }

  bool DummyBackend::readInPlace(std::uint8_t bar, std::uint64_t address, std::size_t nBytes, const WordsUser& use) {
    if(!readsInPlace()) return false;
    std::lock_guard lock(_mutex);
    auto words = clientReadWords(bar, address, nBytes);
    StorageGuard storage(*this);
    use(words);
    return true;
  }

  bool DummyBackend::readsInPlace() const { return typeid(*this) == typeid(DummyBackend); }

  template<class Merge>
  void DummyBackend::clientWrite(
      std::uint8_t bar, std::uint64_t address, const std::int32_t* data, std::size_t nBytes, Merge merge) {
    std::lock_guard lock(_mutex);
    auto words = barWords(bar, address, nBytes);
    if(!_isOpen) throw Corvane::runtime_error("dummy device (" + getRegisterMap().fileName() + ") is not open");
    if(_writeFails) {
      throw Corvane::runtime_error("dummy device (" + getRegisterMap().fileName() + "): simulated write failure");
    }
    lockStorage();
    for(std::size_t i = 0; i < words.size(); ++i) words[i] = merge(words[i], data[i]);
    unlockStorage();
    ++_writeCount;
    ++_outsideWriteGeneration;
    ++_writesByRange[{bar, address, nBytes}];
    regWriteEvents(bar, address, nBytes);
  }

  void DummyBackend::write(std::uint8_t bar, std::uint64_t address, const std::int32_t* data, std::size_t nBytes) {
    clientWrite(bar, address, data, nBytes, [](std::int32_t, std::int32_t value) { return value; });
  }

  void DummyBackend::writeBits(
      std::uint8_t bar, std::uint64_t address, const std::int32_t* data, std::size_t nBytes, std::uint32_t mask) {
    clientWrite(bar, address, data, nBytes, [mask](std::int32_t word, std::int32_t value) {
      return mergeBits(word, value, mask);
    });
  }

  void DummyBackend::regWriteEvents(std::uint8_t, std::uint64_t, std::size_t) {}

  std::string DummyBackend::readDeviceInfo() { return "dummy device with register map " + getRegisterMap().fileName(); }

  void DummyBackend::setOpenFails(bool fails) {
    std::lock_guard lock(_mutex);
    _openFails = fails;
  }

  void DummyBackend::setReadFails(bool fails) {
    std::lock_guard lock(_mutex);
    _readFails = fails;
  }

  void DummyBackend::setWriteFails(bool fails) {
    std::lock_guard lock(_mutex);
    _writeFails = fails;
  }

  std::size_t DummyBackend::getWriteCount() const {
    std::lock_guard lock(_mutex);
    return _writeCount;
  }

  std::size_t DummyBackend::getWriteCount(const std::string& registerPath) const {
    const auto& info = getRegisterMap().getRegister(registerPath);
    std::lock_guard lock(_mutex);
    std::size_t count = 0;
    for(const auto& [range, n] : _writesByRange) {
      auto [bar, address, nBytes] = range;
      bool overlaps = bar == info.bar && address < info.address + info.nBytes && info.address < address + nBytes;
      if(overlaps) count += n;
    }
    return count;
  }

  void DummyBackend::resetWriteCounts() {
    std::lock_guard lock(_mutex);
    _writeCount = 0;
    _writesByRange.clear();
  }

} // namespace Corvane
