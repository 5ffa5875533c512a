#include "UpdateHub.h"

#include <boost/asio/post.hpp>

#include <algorithm>

namespace Corvane::Cs {

  /// State that listeners share with the hub; it outlives the hub, because a listener already
  /// running in an application thread may still reach it after detach().
  struct UpdateHub::Shared {
    explicit Shared(std::size_t n) : queued(n), subscribed(n) {}
    std::mutex mutex;
    bool active{false};
    UpdateHub* hub{nullptr};
    // shared, so that a listener that decided to post can do so after letting go of the mutex
    std::shared_ptr<boost::asio::io_context> io;
    std::vector<std::size_t> changed;
    std::vector<std::atomic<bool>> queued;
    std::vector<std::atomic<std::uint32_t>> subscribed;

    void onUpdate(std::size_t index, const std::shared_ptr<Shared>& self) {
      if(subscribed[index].load(std::memory_order_acquire) == 0) return;
      if(queued[index].exchange(true, std::memory_order_acq_rel)) return;
      std::shared_ptr<boost::asio::io_context> target;
      {
        std::lock_guard lock(mutex);
        if(!active) return;
        changed.push_back(index);
        if(changed.size() == 1) target = io;
      }
      // posted outside the lock: the network thread's drain takes the same lock at once
      if(target) {
        boost::asio::post(*target, [weak = std::weak_ptr<Shared>(self)] {
          auto shared = weak.lock();
          if(!shared) return;
          UpdateHub* hub;
          {
            std::lock_guard lock(shared->mutex);
            hub = shared->active ? shared->hub : nullptr;
          }
          if(hub) hub->drain();
        });
      }
    }
  };

  UpdateHub::UpdateHub(ControlSystem& controlSystem, std::shared_ptr<boost::asio::io_context> io) {
    for(auto& [path, variable] : controlSystem.variables()) {
      _index[path] = _variables.size();
      _variables.push_back(variable.get());
    }
    _subscribers.resize(_variables.size());
    _shared = std::make_shared<Shared>(_variables.size());
    _shared->hub = this;
    _shared->io = std::move(io);
  }

  UpdateHub::~UpdateHub() { detach(); }

  void UpdateHub::attach() {
    {
      std::lock_guard lock(_shared->mutex);
      _shared->active = true;
    }
    for(std::size_t i = 0; i < _variables.size(); ++i) {
      std::weak_ptr<Shared> weak = _shared;
      _variables[i]->setListener([weak, i] {
        if(auto shared = weak.lock()) shared->onUpdate(i, shared);
      });
    }
  }

  void UpdateHub::detach() {
    {
      std::lock_guard lock(_shared->mutex);
      if(!_shared->active) return;
      _shared->active = false;
      _shared->hub = nullptr;
    }
    for(auto* variable : _variables) variable->setListener({});
  }

  std::optional<std::size_t> UpdateHub::indexOf(const std::string& path) const {
    auto it = _index.find(path);
    if(it == _index.end()) return std::nullopt;
    return it->second;
  }

  std::vector<std::size_t> UpdateHub::resolve(const std::string& path) const {
    if(auto exact = indexOf(path)) return {*exact};
    std::string prefix = path;
    if(prefix.empty() || prefix.back() != '/') prefix += '/';
    std::vector<std::size_t> result;
    for(auto it = _index.lower_bound(prefix); it != _index.end() && it->first.starts_with(prefix); ++it)
      result.push_back(it->second);
    return result;
  }

  void UpdateHub::subscribe(std::size_t index, Subscriber* subscriber) {
    auto& list = _subscribers[index];
    if(std::find(list.begin(), list.end(), subscriber) != list.end()) return;
    list.push_back(subscriber);
    _shared->subscribed[index].fetch_add(1, std::memory_order_acq_rel);
  }

  void UpdateHub::unsubscribe(std::size_t index, Subscriber* subscriber) {
    auto& list = _subscribers[index];
    auto it = std::find(list.begin(), list.end(), subscriber);
    if(it == list.end()) return;
    list.erase(it);
    _shared->subscribed[index].fetch_sub(1, std::memory_order_acq_rel);
  }

  void UpdateHub::drain() {
    std::vector<std::size_t> changed;
    {
      std::lock_guard lock(_shared->mutex);
      changed.swap(_shared->changed);
    }
    for(auto index : changed) {
      // cleared before the value is taken, so a write racing with us queues the variable again
      _shared->queued[index].store(false, std::memory_order_release);
      auto value = _variables[index]->latestValue();
      if(!value) continue;
      // a subscriber may unsubscribe itself while being offered a value
      auto subscribers = _subscribers[index];
      for(auto* subscriber : subscribers) subscriber->offer(index, value);
    }
  }

} // namespace Corvane::Cs
