// Recycles the snapshots of one process variable's values: a snapshot that the last holder lets go
// (a channel that took the next value, a control-system client done with it) comes back here, and
// the next write of the variable fills it again instead of allocating a new one. The return goes
// through the pool's mutex, so every read of the old value happens before the next write into it.
//
// The pool lives as long as any of its snapshots: they hold it.
#pragma once

#include "Corvane/ControlSystemValue.h"

#include <memory>
#include <mutex>
#include <vector>

namespace Corvane::detail {

  template<class T>
  class SnapshotPool : public std::enable_shared_from_this<SnapshotPool<T>> {
   public:
    /// An empty or recycled snapshot (with its last content) that only the caller holds.
    std::shared_ptr<ControlSystemValue<T>> get() {
      std::unique_ptr<ControlSystemValue<T>> value;
      {
        std::lock_guard lock(_mutex);
        if(!_free.empty()) {
          value = std::move(_free.back());
          _free.pop_back();
        }
      }
      if(!value) value = std::make_unique<ControlSystemValue<T>>();
      return std::shared_ptr<ControlSystemValue<T>>(
          value.release(), [pool = this->shared_from_this()](ControlSystemValue<T>* released) { pool->giveBack(released); });
    }

   private:
    // more free snapshots than this are not kept (a burst of holders leaves no lasting memory)
    static constexpr std::size_t maximumFree = 4;

    void giveBack(ControlSystemValue<T>* released) {
      std::unique_ptr<ControlSystemValue<T>> owned(released);
      std::lock_guard lock(_mutex);
      if(_free.size() < maximumFree) _free.push_back(std::move(owned));
    }

    std::mutex _mutex;
    std::vector<std::unique_ptr<ControlSystemValue<T>>> _free;
  };

} // namespace Corvane::detail
