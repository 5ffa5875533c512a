#include "Corvane/WakeUpBatch.h"

#include "Corvane/detail/Scheduler.h"

#include <algorithm>
#include <mutex>

namespace Corvane {

  namespace {
    WakeUpBatch*& currentBatch() { return detail::taskLocals().wakeUpBatch; }
  } // namespace

  WakeUpBatch::WakeUpBatch() : _outermost(currentBatch() == nullptr) {
    if(_outermost) currentBatch() = this;
  }

  WakeUpBatch::~WakeUpBatch() {
    if(!_outermost) return;
    currentBatch() = nullptr;
    for(auto* inbox : _held) {
      // the thread may have found its values meanwhile and wait for something else by now
      bool wakes;
      {
        std::lock_guard lock(inbox->mutex);
        wakes = inbox->wakesFor();
      }
      if(wakes) inbox->wake();
    }
  }

  void WakeUpBatch::wake(detail::Inbox& inbox) {
    auto* batch = currentBatch();
    if(!batch) {
      inbox.wake();
      return;
    }
    if(std::find(batch->_held.begin(), batch->_held.end(), &inbox) == batch->_held.end()) {
      batch->_held.push_back(&inbox);
    }
  }

} // namespace Corvane
