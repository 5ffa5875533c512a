#include "FollowingLockBackend.h"

#include <Corvane/BackendRegisterer.h>
#include <Corvane/DMapRelativePath.h>
#include <Corvane/Exception.h>

#include <mutex>

namespace mutextest {

  namespace {
    Corvane::BackendRegisterer registerer("lockfollow", &FollowingLockBackend::createInstance, {"map"});

    bool endsWith(const std::string& text, const std::string& suffix) {
      return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
    }
  } // namespace

  FollowingLockBackend::FollowingLockBackend(const std::string& mapFileName) : DummyBackend(mapFileName) {
    for(const auto& info : getRegisterMap().registers()) {
      if(endsWith(info.path, "/actualState"))
        _actualState = &info;
      else if(endsWith(info.path, "/state"))
        _state = &info;
    }
    if(!_state || !_actualState) {
      throw Corvane::logic_error("lockfollow: map " + mapFileName + " has no register pair state/actualState");
    }
  }

  std::shared_ptr<Corvane::DeviceBackend> FollowingLockBackend::createInstance(
      const std::string&, const std::map<std::string, std::string>& parameters) {
    return std::make_shared<FollowingLockBackend>(Corvane::convertPathRelativeToDmapToAbs(parameters.at("map")));
  }

  bool FollowingLockBackend::touches(
      const Corvane::RegisterInfo& info, std::uint8_t bar, std::uint64_t address, std::size_t nBytes) {
    return bar == info.bar && address < info.address + info.nBytes && info.address < address + nBytes;
  }

  void FollowingLockBackend::read(std::uint8_t bar, std::uint64_t address, std::int32_t* data, std::size_t nBytes) {
    {
      std::lock_guard lock(mutex());
      if(touches(*_actualState, bar, address, nBytes)) {
        ++_readBacks;
        if(_pending && --_readsLeft == 0) {
          *rawWords(_actualState->bar, _actualState->address, 1) = *_pending;
          _pending.reset();
        }
      }
    }
    DummyBackend::read(bar, address, data, nBytes);
  }

  void FollowingLockBackend::regWriteEvents(std::uint8_t bar, std::uint64_t address, std::size_t nBytes) {
    if(!touches(*_state, bar, address, nBytes)) return;
    if(_followAfterReads == 0) {
      _pending.reset();
      return;
    }
    _pending = *rawWords(_state->bar, _state->address, 1);
    _readsLeft = _followAfterReads;
  }

  void FollowingLockBackend::setFollowAfterReads(unsigned reads) {
    std::lock_guard lock(mutex());
    _followAfterReads = reads;
  }

  std::size_t FollowingLockBackend::readBackCount() const {
    std::lock_guard lock(mutex());
    return _readBacks;
  }

} // namespace mutextest
