#include "LockWatchingBackend.h"

#include <Corvane/BackendRegisterer.h>
#include <Corvane/DMapRelativePath.h>
#include <Corvane/Exception.h>

#include <mutex>

namespace adctest {

  namespace {
    Corvane::BackendRegisterer registerer("adcwatch", &LockWatchingBackend::createInstance, {"map"});

    bool endsWith(const std::string& text, const std::string& suffix) {
      return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
    }
  } // namespace

  LockWatchingBackend::LockWatchingBackend(const std::string& mapFileName) : DummyBackend(mapFileName) {
    for(const auto& info : getRegisterMap().registers()) {
      if(endsWith(info.path, "/filterCoefficientsValid/state")) _state = &info;
      if(endsWith(info.path, "/Filter/coefficients")) _coefficients.push_back(&info);
    }
    if(!_state) throw Corvane::logic_error("adcwatch: map " + mapFileName + " has no lock register");
  }

  std::shared_ptr<Corvane::DeviceBackend> LockWatchingBackend::createInstance(
      const std::string&, const std::map<std::string, std::string>& parameters) {
    return std::make_shared<LockWatchingBackend>(Corvane::convertPathRelativeToDmapToAbs(parameters.at("map")));
  }

  void LockWatchingBackend::regWriteEvents(std::uint8_t bar, std::uint64_t address, std::size_t nBytes) {
    for(const auto* info : _coefficients) {
      if(bar == info->bar && address < info->address + info->nBytes && info->address < address + nBytes) {
        _writes.push_back({info->path, *rawWords(_state->bar, _state->address, 1) == 0});
      }
    }
  }

  std::vector<LockWatchingBackend::CoefficientWrite> LockWatchingBackend::coefficientWrites() const {
    std::lock_guard lock(mutex());
    return _writes;
  }

} // namespace adctest
