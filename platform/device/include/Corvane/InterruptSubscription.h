// Handle of one interrupt callback: the callback stays subscribed while the handle lives.
// Destroying or cancelling the handle unsubscribes it (waiting for a running call to end);
// the handle may outlive the backend.
#pragma once

#include "Corvane/InterruptDispatcher.h"

#include <cstdint>
#include <memory>
#include <utility>

namespace Corvane {

  class InterruptSubscription {
   public:
    InterruptSubscription() = default;
    InterruptSubscription(std::weak_ptr<InterruptDispatcher> dispatcher, std::uint64_t id)
    : _dispatcher(std::move(dispatcher)), _id(id) {}
    ~InterruptSubscription() { cancel(); }

    InterruptSubscription(InterruptSubscription&& other) noexcept
    : _dispatcher(std::move(other._dispatcher)), _id(std::exchange(other._id, 0)) {}
    InterruptSubscription& operator=(InterruptSubscription&& other) noexcept {
      if(this != &other) {
        cancel();
        _dispatcher = std::move(other._dispatcher);
        _id = std::exchange(other._id, 0);
      }
      return *this;
    }
    InterruptSubscription(const InterruptSubscription&) = delete;
    InterruptSubscription& operator=(const InterruptSubscription&) = delete;

    void cancel() noexcept {
      if(_id == 0) return;
      if(auto dispatcher = _dispatcher.lock()) dispatcher->remove(_id);
      _id = 0;
      _dispatcher.reset();
    }

    bool isActive() const { return _id != 0 && !_dispatcher.expired(); }

   private:
    std::weak_ptr<InterruptDispatcher> _dispatcher;
    std::uint64_t _id{0};
  };

} // namespace Corvane
