#include "Corvane/InterruptDispatcher.h"

#include <vector>

namespace Corvane {

  std::uint64_t InterruptDispatcher::add(std::uint32_t interruptNumber, Callback callback) {
    std::lock_guard lock(_mutex);
    auto id = _nextId++;
    _subscribers.emplace(id, Subscriber{interruptNumber, std::make_shared<const Callback>(std::move(callback))});
    return id;
  }

  void InterruptDispatcher::remove(std::uint64_t id) {
    std::lock_guard lock(_mutex);
    _subscribers.erase(id);
  }

  void InterruptDispatcher::dispatch(std::uint32_t interruptNumber) {
    // held across the callbacks, so that remove() from another thread waits for them
    std::lock_guard lock(_mutex);
    std::vector<std::uint64_t> ids;
    for(const auto& [id, subscriber] : _subscribers) {
      if(subscriber.interruptNumber == interruptNumber) ids.push_back(id);
    }
    for(auto id : ids) {
      auto found = _subscribers.find(id);
      if(found == _subscribers.end()) continue; // removed by an earlier callback
      auto callback = found->second.callback;   // keeps it alive if it removes itself
      (*callback)();
    }
  }

  std::size_t InterruptDispatcher::size() const {
    std::lock_guard lock(_mutex);
    return _subscribers.size();
  }

} // namespace Corvane
