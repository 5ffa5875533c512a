// The bounded hand-over from the MicroDAQ's pulse path to its writer thread.
//
// The pulse path never waits here: when `capacity` records are queued, the next record is
// refused (the caller drops the whole trigger). Switch items are always taken; a switch queued
// behind another switch replaces it. Written records come back for reuse, so that the arrays'
// memory is not allocated anew on every trigger.
//
// The writer waits in its module thread's inbox with a condition on this queue, so that the
// test facility counts a queued item as pending work: stepApplication() returns only once the
// writer has taken everything (or is held by the test hook). Lock order: inbox, then queue.
#pragma once

#include "Corvane/DaqRecord.h"

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace Corvane {

  namespace detail {
    struct Inbox;
  }

  class DaqRecordQueue {
   public:
    explicit DaqRecordQueue(std::size_t capacity) : _capacity(capacity) {}

    /// Binds the queue to the inbox of the writer's module thread. Before that nothing can be
    /// queued (push() throws logic_error).
    void attach(std::shared_ptr<detail::Inbox> inbox);

    /// Maximum number of queued records (at least 1).
    void setCapacity(std::size_t capacity);
    std::size_t capacity() const;

    /// True when a record would be refused now.
    bool full() const;
    /// Queues a record; false (and the record left untouched) when the queue is full.
    bool push(DaqRecord&& record);
    void push(DaqSwitch item);

    /// A record to fill, from the written ones when there is one.
    DaqRecord spare();
    /// Hands a written record back for reuse.
    void recycle(DaqRecord&& record);

    /// Waits for the next item in the calling module thread; throws the framework's interruption
    /// at shutdown.
    DaqQueueItem pop();
    /// The next item without waiting (also while held), e.g. to drain the queue at shutdown.
    std::optional<DaqQueueItem> tryPop();

    /// Test hook: while held, the writer takes nothing and counts as idle.
    void hold(bool held);

    std::size_t size() const;

   private:
    std::size_t recordsLocked() const;
    void notify();

    mutable std::mutex _mutex;
    std::size_t _capacity;
    std::shared_ptr<detail::Inbox> _inbox;
    std::deque<DaqQueueItem> _items;
    std::vector<DaqRecord> _spare;
    bool _held{false};
  };

} // namespace Corvane
