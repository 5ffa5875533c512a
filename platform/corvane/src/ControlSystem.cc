#include "Corvane/ControlSystem.h"

#include "Corvane/WakeUpBatch.h"
#include "Corvane/detail/NetworkVariable.h"

namespace Corvane {

  namespace {
    /// Channel of the control-system participant: keeps the newest value as a shared, immutable
    /// snapshot, counts arrivals and tells the listener. Readers take the snapshot pointer under
    /// the lock (no copy of the data), so a writer never waits for a reader's copy; a snapshot
    /// that no reader holds any more goes back to its variable's pool for a later value.
    template<class T>
    class ControlSystemChannel final : public detail::ReceiveChannel {
     public:
      ControlSystemChannel(std::shared_ptr<detail::Inbox> inbox, DataType type, std::size_t n)
      : detail::ReceiveChannel(Kind::latest, 1, std::move(inbox), type, n) {}

      void deliver(VectorRef source, bool mayTake, const VersionNumber& version, DataValidity validity) override {
        // values the control system copies itself (its own writes, values of another type) are rare:
        // each gets a new snapshot; the frequent ones come shared from the variable (deliverSnapshot)
        auto next = std::make_shared<ControlSystemValue<T>>();
        bool faulty = detail::fillBuffer(next->data, source, mayTake) || validity == DataValidity::faulty;
        next->version = version;
        next->validity = faulty ? DataValidity::faulty : DataValidity::ok;
        publish(std::move(next));
      }

      bool takesSnapshots() const override { return true; }

      void deliverSnapshot(const SnapshotHandle& snapshot) override { publish(snapshot.get<T>()); }

      std::size_t size() const override { return _latest ? 1 : 0; }
      std::uint64_t headSequence() const override { return _arrival; }
      void clear() override { _latest.reset(); }

      /// Caller holds the inbox mutex.
      std::shared_ptr<const ControlSystemValue<T>> latest() const { return _latest; }

      std::uint64_t updates{0};
      std::function<void()> listener;

     private:
      void publish(std::shared_ptr<ControlSystemValue<T>> next) {
        std::shared_ptr<ControlSystemValue<T>> previous; // let go outside the lock
        std::function<void()> call;
        {
          std::lock_guard lock(_inbox->mutex);
          next->sequence = ++updates;
          _arrival = ++_inbox->sequence;
          previous = std::move(_latest);
          _latest = std::move(next);
          _inbox->scheduler->touch();
          call = listener;
        }
        WakeUpBatch::wake(*_inbox);
        if(call) call();
      }

      std::shared_ptr<ControlSystemValue<T>> _latest;
      std::uint64_t _arrival{0};
    };
  } // namespace

  std::shared_ptr<detail::ReceiveChannel> makeControlSystemChannel(
      detail::Scheduler* scheduler, DataType type, std::size_t n) {
    auto inbox = std::make_shared<detail::Inbox>(scheduler, "control system");
    return callForType(type, [&](auto sample) -> std::shared_ptr<detail::ReceiveChannel> {
      using T = decltype(sample);
      return std::make_shared<ControlSystemChannel<T>>(inbox, type, n);
    });
  }

  ControlSystemVariable::ControlSystemVariable(std::shared_ptr<detail::NetworkVariable> variable,
      std::size_t participant, std::shared_ptr<detail::ReceiveChannel> channel, bool writable)
  : _variable(std::move(variable)), _participant(participant), _channel(std::move(channel)), _writable(writable) {}

  const std::string& ControlSystemVariable::path() const { return _variable->path; }
  DataType ControlSystemVariable::type() const { return _variable->type; }
  std::size_t ControlSystemVariable::nElements() const { return _variable->nElements; }
  std::string ControlSystemVariable::unit() const { return _variable->unit; }
  std::string ControlSystemVariable::description() const { return _variable->description; }
  std::unordered_set<std::string> ControlSystemVariable::tags() const { return _variable->tags; }

  bool ControlSystemVariable::hasValue() const {
    std::lock_guard lock(_channel->inbox().mutex);
    return _channel->size() > 0;
  }

  std::uint64_t ControlSystemVariable::updateCount() const {
    return callForType(type(), [&](auto sample) {
      using T = decltype(sample);
      auto* channel = static_cast<ControlSystemChannel<T>*>(_channel.get());
      std::lock_guard lock(channel->inbox().mutex);
      return channel->updates;
    });
  }

  void ControlSystemVariable::setListener(std::function<void()> listener) {
    callForType(type(), [&](auto sample) {
      using T = decltype(sample);
      auto* channel = static_cast<ControlSystemChannel<T>*>(_channel.get());
      std::lock_guard lock(channel->inbox().mutex);
      channel->listener = std::move(listener);
    });
  }

  SharedValue ControlSystemVariable::latestValue() const {
    return callForType(type(), [&](auto sample) -> SharedValue {
      using T = decltype(sample);
      auto* channel = static_cast<ControlSystemChannel<T>*>(_channel.get());
      std::lock_guard lock(channel->inbox().mutex);
      return channel->latest();
    });
  }

  bool ControlSystemVariable::isFedByControlSystem() const { return _variable->isFedByControlSystem(); }

  void ControlSystemVariable::checkWritable(std::size_t n) const {
    if(!_writable) throw logic_error("Variable " + path() + " is not writable by the control system");
    if(n != nElements()) {
      throw logic_error("Variable " + path() + " has " + std::to_string(nElements()) + " elements, " +
          std::to_string(n) + " were written");
    }
  }

  void ControlSystemVariable::setValue(VectorRef value, const VersionNumber& version, DataValidity validity) {
    // the control system's own channel gets the write inside the variable's send lock, like every
    // other participant: a module's simultaneous write-back cannot come in between
    _variable->send(_participant, value, version, validity, true);
  }

  ControlSystemVariable& ControlSystem::variable(const std::string& path) {
    auto it = _variables.find(path);
    if(it == _variables.end()) throw logic_error("No process variable at path '" + path + "'");
    return *it->second;
  }

  void ControlSystem::add(const std::string& path, std::unique_ptr<ControlSystemVariable> variable) {
    _variables[path] = std::move(variable);
  }

  void ControlSystem::sendInitialValues() {
    for(auto& [path, variable] : _variables) {
      if(!variable->_variable->isFedByControlSystem()) continue;
      bool provided = false;
      for(auto& provider : _providers) {
        if(provider(*variable)) {
          provided = true;
          break;
        }
      }
      if(provided) continue;
      callForType(variable->type(), [&](auto sample) {
        using T = decltype(sample);
        std::vector<T> zeros(variable->nElements());
        variable->setValue(&zeros, VersionNumber{}, DataValidity::ok);
      });
    }
  }

} // namespace Corvane
