// Holds back the wake-ups of receiving module threads while several values are sent together.
//
// Every delivery normally wakes the receiving thread at once. A module that sends a set of values
// (all registers of a device trigger, all outputs of a pass) would then wake a reader of two of
// them twice: once for the first value, when it finds the second still missing and sleeps again,
// and once more for the second. While a WakeUpBatch lives on the sending thread, deliveries only
// queue their values; each receiving thread is woken once when the batch ends. Batches nest: the
// outermost one wakes.
//
//   {
//     Corvane::WakeUpBatch batch;
//     amplitude.writeDestructively();
//     phase.writeDestructively();
//   } // readers of both wake here, once
//
// Values are delivered (and queues filled) as without a batch; only the wake-up waits. Keep a
// batch short and never wait for other modules inside one: a reader of a held-back value sleeps
// until the batch ends.
#pragma once

#include <vector>

namespace Corvane {

  namespace detail {
    struct Inbox;
  }

  class WakeUpBatch {
   public:
    WakeUpBatch();
    ~WakeUpBatch();
    WakeUpBatch(const WakeUpBatch&) = delete;
    WakeUpBatch& operator=(const WakeUpBatch&) = delete;

    /// Wakes the thread of `inbox` now, or when the calling thread's outermost batch ends. Called
    /// by the channels after a delivery that must wake the thread, without the inbox mutex held.
    static void wake(detail::Inbox& inbox);

   private:
    bool _outermost;
    std::vector<detail::Inbox*> _held; // inboxes outlive the batches of running module threads
  };

} // namespace Corvane
