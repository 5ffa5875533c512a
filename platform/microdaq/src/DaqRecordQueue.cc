#include "Corvane/DaqRecordQueue.h"

#include "Corvane/Exception.h"
#include "Corvane/detail/Scheduler.h"

#include <algorithm>

namespace Corvane {

  void DaqRecordQueue::attach(std::shared_ptr<detail::Inbox> inbox) {
    std::lock_guard lock(_mutex);
    _inbox = std::move(inbox);
  }

  void DaqRecordQueue::setCapacity(std::size_t capacity) {
    std::lock_guard lock(_mutex);
    _capacity = std::max<std::size_t>(capacity, 1);
  }

  std::size_t DaqRecordQueue::capacity() const {
    std::lock_guard lock(_mutex);
    return _capacity;
  }

  std::size_t DaqRecordQueue::recordsLocked() const {
    return static_cast<std::size_t>(std::count_if(
        _items.begin(), _items.end(), [](const DaqQueueItem& item) { return item.index() == 0; }));
  }

  void DaqRecordQueue::setFileChangeAllowance(std::size_t records) {
    std::lock_guard lock(_mutex);
    _fileChangeAllowance = records;
  }

  std::size_t DaqRecordQueue::roomLocked() const {
    return _capacity + (_changingFile ? _fileChangeAllowance : 0);
  }

  bool DaqRecordQueue::full() const {
    std::lock_guard lock(_mutex);
    return recordsLocked() >= roomLocked();
  }

  void DaqRecordQueue::beginFileChange() {
    std::lock_guard lock(_mutex);
    _changingFile = true;
  }

  void DaqRecordQueue::endFileChange() {
    std::lock_guard lock(_mutex);
    _changingFile = false;
  }

  void DaqRecordQueue::waitWhileFileChangesHeld() {
    std::shared_ptr<detail::Inbox> inbox;
    {
      std::lock_guard lock(_mutex);
      inbox = _inbox;
    }
    // only the writer's own module thread waits (not the drain at shutdown)
    if(!inbox || detail::currentInbox() != inbox.get()) return;
    std::unique_lock inboxLock(inbox->mutex);
    inbox->wait(inboxLock, [this] {
      std::lock_guard lock(_mutex);
      return !_fileChangesHeld;
    });
  }

  void DaqRecordQueue::holdFileChanges(bool held) {
    bool attached;
    {
      std::lock_guard lock(_mutex);
      _fileChangesHeld = held;
      attached = _inbox != nullptr;
    }
    if(attached) notify();
  }

  bool DaqRecordQueue::push(DaqRecord&& record) {
    {
      std::lock_guard lock(_mutex);
      if(!_inbox) throw logic_error("MicroDAQ: record queued before the writer was started");
      if(recordsLocked() >= roomLocked()) return false;
      _items.emplace_back(std::move(record));
    }
    notify();
    return true;
  }

  void DaqRecordQueue::push(DaqSwitch item) {
    {
      std::lock_guard lock(_mutex);
      if(!_inbox) throw logic_error("MicroDAQ: switch queued before the writer was started");
      if(!_items.empty() && std::holds_alternative<DaqSwitch>(_items.back())) _items.back() = item;
      else _items.emplace_back(item);
    }
    notify();
  }

  void DaqRecordQueue::notify() {
    // like a delivery into a module's channel: count as a change for the idle detection, then wake
    auto& inbox = *_inbox;
    {
      std::lock_guard lock(inbox.mutex);
      inbox.scheduler->touch();
    }
    inbox.wake();
  }

  DaqRecord DaqRecordQueue::spare() {
    std::lock_guard lock(_mutex);
    if(_spare.empty()) return DaqRecord{};
    DaqRecord record = std::move(_spare.back());
    _spare.pop_back();
    return record;
  }

  void DaqRecordQueue::recycle(DaqRecord&& record) {
    std::lock_guard lock(_mutex);
    if(_spare.size() < _capacity) _spare.push_back(std::move(record));
  }

  DaqQueueItem DaqRecordQueue::pop() {
    std::shared_ptr<detail::Inbox> inbox;
    {
      std::lock_guard lock(_mutex);
      inbox = _inbox;
    }
    if(!inbox) throw logic_error("MicroDAQ: the writer waits on a queue that was never attached");
    std::unique_lock inboxLock(inbox->mutex);
    inbox->wait(inboxLock, [this] {
      std::lock_guard lock(_mutex);
      return !_held && !_items.empty();
    });
    std::lock_guard lock(_mutex);
    DaqQueueItem item = std::move(_items.front());
    _items.pop_front();
    return item;
  }

  std::optional<DaqQueueItem> DaqRecordQueue::tryPop() {
    std::lock_guard lock(_mutex);
    if(_items.empty()) return std::nullopt;
    DaqQueueItem item = std::move(_items.front());
    _items.pop_front();
    return item;
  }

  void DaqRecordQueue::hold(bool held) {
    bool attached;
    {
      std::lock_guard lock(_mutex);
      _held = held;
      attached = _inbox != nullptr;
    }
    if(attached) notify();
  }

  std::size_t DaqRecordQueue::size() const {
    std::lock_guard lock(_mutex);
    return _items.size();
  }

} // namespace Corvane
