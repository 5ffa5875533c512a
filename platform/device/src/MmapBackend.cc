#include "Corvane/MmapBackend.h"

#include "Corvane/BackendRegisterer.h"
#include "Corvane/Exception.h"
#include "Corvane/RegisterMapFile.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <mutex>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>

namespace Corvane {

  namespace {
    constexpr const char* mmapBackendTypeName = "mmap";
    BackendRegisterer mmapRegisterer(mmapBackendTypeName, &MmapBackend::createInstance, {"map"});

    std::uint64_t parseOffset(const std::string& key, const std::string& text) {
      std::string_view digits(text);
      int base = 10;
      if(digits.starts_with("0x") || digits.starts_with("0X")) {
        digits.remove_prefix(2);
        base = 16;
      }
      std::uint64_t value{};
      auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
      if(digits.empty() || result.ec != std::errc{} || result.ptr != digits.data() + digits.size()) {
        throw Corvane::logic_error("parameter " + key + "=" + text + " is not a byte offset");
      }
      return value;
    }

    // a regular file outside sysfs: ordinary cached memory once mapped, unlike device memory
    bool isPlainMemory(int fd) {
      struct stat status {};
      struct statfs fileSystem {};
      return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && ::fstatfs(fd, &fileSystem) == 0 &&
          fileSystem.f_type != SYSFS_MAGIC;
    }
  } // namespace

  MmapBackend::MmapBackend(std::string path, std::map<std::uint8_t, std::uint64_t> barOffsets,
      std::shared_ptr<const RegisterMap> registerMap)
  : DeviceBackend(std::move(registerMap)), _path(std::move(path)), _barOffsets(std::move(barOffsets)),
    _barSizes(getRegisterMap().barSizes()) {
    if(_barOffsets.empty()) return;
    _barOffsets.try_emplace(0, 0);
    for(auto [bar, size] : _barSizes) {
      if(!_barOffsets.contains(bar)) {
        throw Corvane::logic_error("register map " + getRegisterMap().fileName() + " uses bar " + std::to_string(bar) +
            " but the mmap device " + _path + " has no offset bar" + std::to_string(bar) + " for it");
      }
    }
  }

  std::shared_ptr<DeviceBackend> MmapBackend::createInstance(
      const std::string& address, const std::map<std::string, std::string>& parameters) {
    if(address.empty()) throw Corvane::logic_error("mmap device descriptor has no device path");
    auto mapFile = registerMapFile({mmapBackendTypeName, address, parameters});
    std::map<std::uint8_t, std::uint64_t> offsets;
    for(const auto& [key, value] : parameters) {
      if(key == "map") continue;
      unsigned bar{};
      auto result = std::from_chars(key.data() + std::min<std::size_t>(3, key.size()), key.data() + key.size(), bar);
      if(!key.starts_with("bar") || key.size() == 3 || result.ec != std::errc{} ||
          result.ptr != key.data() + key.size() || bar > 255) {
        throw Corvane::logic_error("unknown mmap device parameter \"" + key + "\" (expected map or barN)");
      }
      offsets[static_cast<std::uint8_t>(bar)] = parseOffset(key, value);
    }
    auto registerMap = std::make_shared<const RegisterMap>(RegisterMap::load(mapFile));
    return std::make_shared<MmapBackend>(address, std::move(offsets), std::move(registerMap));
  }

  FileDescriptor MmapBackend::openFile(const std::string& fileName, std::uint64_t neededBytes) const {
    FileDescriptor fd(::open(fileName.c_str(), O_RDWR | O_SYNC | O_CLOEXEC));
    if(!fd) throw Corvane::runtime_error("cannot open " + fileName + ": " + std::strerror(errno));
    struct stat status {};
    if(::fstat(fd.get(), &status) != 0) {
      throw Corvane::runtime_error("cannot inspect " + fileName + ": " + std::strerror(errno));
    }
    // regular files (also sysfs resource files) know their size; mapping beyond it would fault
    if(S_ISREG(status.st_mode) && static_cast<std::uint64_t>(status.st_size) < neededBytes) {
      throw Corvane::runtime_error(fileName + " has " + std::to_string(status.st_size) + " bytes, register map " +
          getRegisterMap().fileName() + " needs " + std::to_string(neededBytes));
    }
    return fd;
  }

  void MmapBackend::open() {
    std::unique_lock lock(_mutex);
    _bars.clear();
    _isOpen = false;
    bool perBarFiles = _barOffsets.empty() && std::filesystem::is_directory(_path);
    if(!perBarFiles && _barOffsets.empty()) {
      for(auto [bar, size] : _barSizes) {
        if(bar != 0) {
          throw Corvane::runtime_error(_path + " is no directory of resource files, and register map " +
              getRegisterMap().fileName() + " uses bar " + std::to_string(bar));
        }
      }
    }
    FileDescriptor shared;
    if(!perBarFiles) {
      std::uint64_t needed = 0;
      for(auto [bar, size] : _barSizes) needed = std::max(needed, offsetOf(bar) + size);
      shared = openFile(_path, needed);
    }
    std::map<std::uint8_t, Bar> bars;
    for(auto [bar, size] : _barSizes) {
      if(size == 0) continue;
      Bar entry;
      if(perBarFiles) {
        auto fileName = (std::filesystem::path(_path) / ("resource" + std::to_string(bar))).string();
        entry.file = openFile(fileName, size);
        entry.mapping = MemoryMapping(entry.file.get(), 0, size, fileName);
        entry.plainMemory = isPlainMemory(entry.file.get());
      }
      else {
        entry.mapping = MemoryMapping(shared.get(), offsetOf(bar), size, _path + " (bar " + std::to_string(bar) + ")");
        entry.plainMemory = isPlainMemory(shared.get());
      }
      bars.emplace(bar, std::move(entry));
    }
    _bars = std::move(bars);
    _isOpen = true;
  }

  std::uint64_t MmapBackend::offsetOf(std::uint8_t bar) const {
    auto offset = _barOffsets.find(bar);
    return offset == _barOffsets.end() ? 0 : offset->second;
  }

  void MmapBackend::close() {
    std::unique_lock lock(_mutex);
    _bars.clear();
    _isOpen = false;
  }

  bool MmapBackend::isOpen() const {
    std::shared_lock lock(_mutex);
    return _isOpen;
  }

  volatile std::int32_t* MmapBackend::barWords(std::uint8_t bar, std::uint64_t address, std::size_t nBytes) {
    auto size = _barSizes.find(bar);
    if(size == _barSizes.end()) {
      throw Corvane::logic_error("mmap device " + _path + " has no bar " + std::to_string(bar) + " in register map " +
          getRegisterMap().fileName());
    }
    checkTransfer(bar, address, nBytes, size->second);
    if(!_isOpen) throw Corvane::runtime_error("mmap device " + _path + " is not open");
    if(nBytes == 0) return nullptr;
    auto* base = reinterpret_cast<volatile std::int32_t*>(_bars.at(bar).mapping.data());
    return base + address / 4;
  }

  void MmapBackend::read(std::uint8_t bar, std::uint64_t address, std::int32_t* data, std::size_t nBytes) {
    std::shared_lock lock(_mutex);
    auto* words = barWords(bar, address, nBytes);
    for(std::size_t i = 0; i < nBytes / 4; ++i) data[i] = words[i];
  }

  bool MmapBackend::readInPlace(std::uint8_t bar, std::uint64_t address, std::size_t nBytes, const WordsUser& use) {
    std::shared_lock lock(_mutex);
    barWords(bar, address, nBytes); // checks, and faults when closed
    if(nBytes == 0) {
      use({});
      return true;
    }
    const auto& entry = _bars.at(bar);
    // a bar at an offset that is not word-aligned would give misaligned words: copy those
    auto* base = entry.mapping.data();
    if(!entry.plainMemory || reinterpret_cast<std::uintptr_t>(base) % alignof(std::int32_t) != 0) return false;
    use(std::span<const std::int32_t>(reinterpret_cast<const std::int32_t*>(base) + address / 4, nBytes / 4));
    return true;
  }

  void MmapBackend::write(std::uint8_t bar, std::uint64_t address, const std::int32_t* data, std::size_t nBytes) {
    std::shared_lock lock(_mutex);
    auto* words = barWords(bar, address, nBytes);
    for(std::size_t i = 0; i < nBytes / 4; ++i) words[i] = data[i];
  }

  std::string MmapBackend::readDeviceInfo() {
    return "memory-mapped device " + _path + " with register map " + getRegisterMap().fileName();
  }

} // namespace Corvane
