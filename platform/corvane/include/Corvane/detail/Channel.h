// Receiving ends of process variables.
//
// Every participant of a variable that receives values owns one channel:
//  - pushQueue: bounded queue (length + the reader's buffer); a write into a full queue replaces
//    the oldest queued value, so the newest always arrives, and counts one lost transfer;
//  - latest: keeps only the newest value (poll inputs, read-back channels, the control system),
//    never counts a loss.
// Latest channels of the writer's own type, and push queues whose reader shares received values,
// hold one immutable snapshot of each value, made once per write (see NetworkVariable::send): a
// reader copies it into its own buffer when it reads, or keeps referring to it when it shares.
// Values are converted to the channel's type on delivery. Buffers are recycled, and a value that
// the writer gives up (destructive write) is moved, not copied, into the last same-typed channel.
#pragma once

#include "Corvane/Conversion.h"
#include "Corvane/ControlSystemValue.h"
#include "Corvane/Types.h"
#include "Corvane/ValueHandle.h"
#include "Corvane/VersionNumber.h"
#include "Corvane/WakeUpBatch.h"
#include "Corvane/detail/Scheduler.h"

#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace Corvane::detail {

  class ReceiveChannel {
   public:
    enum class Kind { pushQueue, latest };

    ReceiveChannel(Kind kind, std::size_t queueLength, std::shared_ptr<Inbox> inbox, DataType type, std::size_t n)
    : _kind(kind), _queueLength(kind == Kind::latest ? 1 : queueLength), _inbox(std::move(inbox)), _type(type),
      _nElements(n) {}
    virtual ~ReceiveChannel() = default;

    /// Puts a value into the channel. `source` is the writer's vector; when `mayTake` is set its
    /// buffer may be swapped out (the writer gets a recycled one back).
    virtual void deliver(VectorRef source, bool mayTake, const VersionNumber& version, DataValidity validity) = 0;

    /// Whether the channel keeps shared snapshots of values of its own type.
    virtual bool takesSnapshots() const { return false; }
    /// Puts a shared snapshot of the channel's type into the channel; nobody changes it any more (the
    /// control system's channel, which gets it first, sets its sequence).
    virtual void deliverSnapshot(const SnapshotHandle& /*snapshot*/) {}

    /// Number of queued values. Caller holds the inbox mutex.
    virtual std::size_t size() const = 0;
    /// Arrival sequence of the oldest queued value. Caller holds the inbox mutex; size() > 0.
    virtual std::uint64_t headSequence() const = 0;
    /// Drops every queued value (used when an accessor is read "latest" through its poll form).
    virtual void clear() = 0;

    Inbox& inbox() { return *_inbox; }
    const std::shared_ptr<Inbox>& inboxPtr() const { return _inbox; }
    Kind kind() const { return _kind; }
    DataType type() const { return _type; }
    std::size_t nElements() const { return _nElements; }
    std::size_t queueLength() const { return _queueLength; }
    std::uint64_t lostTransfers() const { return _lost.load(std::memory_order_relaxed); }

   protected:
    Kind _kind;
    std::size_t _queueLength;
    std::shared_ptr<Inbox> _inbox;
    DataType _type;
    std::size_t _nElements;
    std::atomic<std::uint64_t> _lost{0};
  };

  /// Counts `n` elements of T copied by the transport (arrays of numbers only).
  template<class T>
  void countCopy(std::size_t n) {
    if constexpr(std::is_arithmetic_v<T>) bytesCopied().fetch_add(n * sizeof(T), std::memory_order_relaxed);
  }

  /// Puts a delivered value into `buffer` (of the receiver's type T): the writer's buffer is
  /// swapped in when it may be taken and has the same type, copied otherwise, converted when the
  /// types differ. Returns true when a conversion could not represent a value (faulty).
  template<class T>
  bool fillBuffer(std::vector<T>& buffer, VectorRef source, bool mayTake) {
    bool faulty = false;
    source.visit([&](auto& in) {
      using S = typename std::decay_t<decltype(in)>::value_type;
      if constexpr(std::is_same_v<S, T>) {
        if(mayTake) {
          if(buffer.size() != in.size()) buffer.resize(in.size());
          buffer.swap(in);
        }
        else {
          buffer.assign(in.begin(), in.end());
          countCopy<T>(in.size());
        }
      }
      else if constexpr(std::is_arithmetic_v<S> && std::is_floating_point_v<T>) {
        // every number has a nearest floating-point value: a plain loop that the compiler vectorises
        buffer.resize(in.size());
        const S* from = in.data();
        T* to = buffer.data();
        for(std::size_t i = 0, n = in.size(); i < n; ++i) to[i] = static_cast<T>(from[i]);
      }
      else if constexpr(isConvertible<S, T>()) {
        buffer.resize(in.size());
        for(std::size_t i = 0; i < in.size(); ++i) buffer[i] = convertValue<T>(in[i], faulty);
      }
    });
    return faulty;
  }

  template<class T>
  class TypedChannel : public ReceiveChannel {
   public:
    using ReceiveChannel::ReceiveChannel;

    void deliver(VectorRef source, bool mayTake, const VersionNumber& version, DataValidity validity) override {
      std::vector<T> buffer = takeSpare();
      bool faulty = fillBuffer(buffer, source, mayTake) || validity == DataValidity::faulty;
      enqueue(Item{std::move(buffer), version, faulty ? DataValidity::faulty : DataValidity::ok, 0, nullptr});
    }

    bool takesSnapshots() const override { return _kind == Kind::latest || _acceptsSnapshots; }
    /// A push queue whose reader shares received values takes snapshots too.
    void acceptSnapshots() { _acceptsSnapshots = true; }

    void deliverSnapshot(const SnapshotHandle& snapshot) override {
      std::shared_ptr<const ControlSystemValue<T>> value = snapshot.get<T>();
      auto version = value->version;
      auto validity = value->validity;
      enqueue(Item{{}, version, validity, 0, std::move(value)});
    }

    /// Takes the oldest value into `buffer` (swapping buffers, or copying a shared snapshot). With
    /// `shared`, a snapshot is kept there instead of copied (and `shared` is reset when the value is
    /// a buffer). Caller holds the inbox mutex.
    bool take(std::vector<T>& buffer, std::shared_ptr<const ControlSystemValue<T>>* shared, VersionNumber& version,
        DataValidity& validity) {
      if(_queue.empty()) return false;
      auto& item = _queue.front();
      if(item.snapshot && shared) {
        *shared = std::move(item.snapshot);
      }
      else if(item.snapshot) {
        buffer.assign(item.snapshot->data.begin(), item.snapshot->data.end());
        countCopy<T>(buffer.size());
      }
      else {
        if(shared) shared->reset();
        buffer.swap(item.data);
        if(_spare.size() < _queueLength + 2) _spare.push_back(std::move(item.data));
      }
      version = item.version;
      validity = item.validity;
      _queue.pop_front();
      return true;
    }

    std::size_t size() const override { return _queue.size(); }
    std::uint64_t headSequence() const override { return _queue.front().sequence; }
    void clear() override { _queue.clear(); }

   private:
    struct Item {
      std::vector<T> data; // unless the value is a shared snapshot
      VersionNumber version;
      DataValidity validity;
      std::uint64_t sequence;
      std::shared_ptr<const ControlSystemValue<T>> snapshot;
    };

    void enqueue(Item item) {
      {
        std::lock_guard lock(_inbox->mutex);
        if(_queue.size() >= _queueLength) {
          if(!_queue.front().snapshot && _spare.size() < _queueLength + 2) {
            _spare.push_back(std::move(_queue.front().data));
          }
          _queue.pop_front();
          if(_kind == Kind::pushQueue) {
            _lost.fetch_add(1, std::memory_order_relaxed);
            _inbox->scheduler->lostTransfers.fetch_add(1, std::memory_order_relaxed);
          }
        }
        item.sequence = ++_inbox->sequence;
        _queue.push_back(std::move(item));
        _inbox->scheduler->touch();
        // a thread that waits for something this value does not give stays asleep
        if(!_inbox->wakesFor()) return;
      }
      WakeUpBatch::wake(*_inbox);
    }

    std::vector<T> takeSpare() {
      std::lock_guard lock(_inbox->mutex);
      if(_spare.empty()) return std::vector<T>(_nElements);
      auto buffer = std::move(_spare.back());
      _spare.pop_back();
      return buffer;
    }

    std::deque<Item> _queue;
    std::vector<std::vector<T>> _spare;
    bool _acceptsSnapshots{false};
  };

} // namespace Corvane::detail
