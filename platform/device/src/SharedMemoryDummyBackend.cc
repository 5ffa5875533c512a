#include "Corvane/SharedMemoryDummyBackend.h"

#include "Corvane/BackendRegisterer.h"
#include "Corvane/Exception.h"
#include "Corvane/RegisterMapFile.h"

#include <cstdio>
#include <filesystem>
#include <typeinfo>

#include <unistd.h>

namespace Corvane {

  namespace {
    constexpr const char* sharedMemoryDummyBackendTypeName = "sharedMemoryDummy";
    BackendRegisterer sharedMemoryDummyRegisterer(sharedMemoryDummyBackendTypeName, &SharedMemoryDummyBackend::createInstance, {"map"});

    // FNV-1a: stable across processes and builds, unlike std::hash
    std::uint64_t fnv1a(const std::string& text) {
      std::uint64_t hash = 0xcbf29ce484222325ull;
      for(unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3ull;
      }
      return hash;
    }

    std::string absolutePath(const std::string& path) {
      return std::filesystem::absolute(path).lexically_normal().string();
    }
  } // namespace

  SharedMemoryDummyBackend::SharedMemoryDummyBackend(const std::string& instance, const std::string& mapFileName)
  : DummyBackend(std::make_shared<const RegisterMap>(RegisterMap::load(mapFileName)), ExternalStorage{}) {
    std::uint64_t total = 0;
    auto sizes = getRegisterMap().barSizes();
    for(auto [bar, nBytes] : sizes) total += nBytes;
    _segment = std::make_unique<SharedMemorySegment>(segmentName(instance, mapFileName), static_cast<std::size_t>(total));
    // bars one after the other, in bar order
    auto* words = reinterpret_cast<std::int32_t*>(_segment->payload());
    for(auto [bar, nBytes] : sizes) {
      setBarStorage(bar, std::span<std::int32_t>(words, nBytes / 4));
      words += nBytes / 4;
    }
  }

  std::shared_ptr<DeviceBackend> SharedMemoryDummyBackend::createInstance(
      const std::string& address, const std::map<std::string, std::string>& parameters) {
    return std::make_shared<SharedMemoryDummyBackend>(address, registerMapFile({sharedMemoryDummyBackendTypeName, address, parameters}));
  }

  std::string SharedMemoryDummyBackend::segmentName(const std::string& instance, const std::string& mapFileName) {
    std::string cleaned;
    for(char c : instance.substr(0, 100)) {
      bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
      cleaned.push_back(ok ? c : '_');
    }
    char hash[17];
    std::snprintf(hash, sizeof(hash), "%016llx", static_cast<unsigned long long>(fnv1a(absolutePath(mapFileName))));
    return "/corvane-" + std::to_string(::getuid()) + "-" + cleaned + "-" + hash;
  }

  void SharedMemoryDummyBackend::removeSegment(const std::string& instance, const std::string& mapFileName) {
    SharedMemorySegment::remove(segmentName(instance, mapFileName));
  }

  bool SharedMemoryDummyBackend::readsInPlace() const { return typeid(*this) == typeid(SharedMemoryDummyBackend); }

  std::string SharedMemoryDummyBackend::readDeviceInfo() {
    return "shared-memory dummy device " + _segment->name() + " with register map " + getRegisterMap().fileName();
  }

} // namespace Corvane
