// Fan-out of a device's interrupts to the callbacks subscribed for them.
//
// Callbacks of one dispatcher never run concurrently, and once remove() has returned the
// removed callback is not running and never runs again (remove waits for a callback running
// in another thread; a callback may remove itself or others).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace Corvane {

  class InterruptDispatcher {
   public:
    using Callback = std::function<void()>;

    std::uint64_t add(std::uint32_t interruptNumber, Callback callback);
    void remove(std::uint64_t id);

    /// Calls every callback subscribed to the interrupt, in subscription order, in this thread.
    void dispatch(std::uint32_t interruptNumber);

    std::size_t size() const;

   private:
    struct Subscriber {
      std::uint32_t interruptNumber;
      std::shared_ptr<const Callback> callback;
    };

    mutable std::recursive_mutex _mutex;
    std::map<std::uint64_t, Subscriber> _subscribers;
    std::uint64_t _nextId{1};
  };

} // namespace Corvane
