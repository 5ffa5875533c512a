// The bounded hand-over from the MicroDAQ's pulse path to its writer thread.
//
// The pulse path never waits here: when `capacity` records are queued, the next record is
// refused (the caller drops the whole trigger). While the writer opens or completes a file
// (which can take much longer than writing a record: creating the first file of a recording,
// replacing the oldest file of the ring) up to `fileChangeAllowance` records more are taken, so
// that a file change costs no trigger. Switch items are always taken; a switch queued behind
// another switch replaces it. Written records come back for reuse, so that the arrays' memory
// is not allocated anew on every trigger.
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
    explicit DaqRecordQueue(std::size_t capacity, std::size_t fileChangeAllowance)
    : _capacity(capacity), _fileChangeAllowance(fileChangeAllowance) {}

    /// Binds the queue to the inbox of the writer's module thread. Before that nothing can be
    /// queued (push() throws logic_error).
    void attach(std::shared_ptr<detail::Inbox> inbox);

    /// Maximum number of queued records (at least 1).
    void setCapacity(std::size_t capacity);
    std::size_t capacity() const;
    /// Records taken beyond the capacity while the writer changes files.
    void setFileChangeAllowance(std::size_t records);

    /// The writer opens or completes a file between these two calls.
    void beginFileChange();
    void endFileChange();
    /// Test hook (writer thread): waits while file changes are held; returns at once outside
    /// a module thread (e.g. when the writer drains the queue at shutdown).
    void waitWhileFileChangesHeld();
    /// Test hook: while held, a writer that changes files waits (and counts as idle), so that a
    /// test can queue records behind a slow file change deterministically.
    void holdFileChanges(bool held);

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
    std::size_t roomLocked() const;
    void notify();

    mutable std::mutex _mutex;
    std::size_t _capacity;
    std::size_t _fileChangeAllowance;
    bool _changingFile{false};
    bool _fileChangesHeld{false};
    std::shared_ptr<detail::Inbox> _inbox;
    std::deque<DaqQueueItem> _items;
    std::vector<DaqRecord> _spare;
    bool _held{false};
  };

} // namespace Corvane
