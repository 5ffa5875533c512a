#include "Corvane/ControlSystem.h"

#include "Corvane/detail/NetworkVariable.h"

namespace Corvane {

  namespace {
    /// Channel of the control-system participant: keeps the newest value, counts arrivals and
    /// tells the listener.
    template<class T>
    class ControlSystemChannel final : public detail::TypedChannel<T> {
     public:
      using detail::TypedChannel<T>::TypedChannel;
      void deliver(DataType sourceType, void* source, bool mayTake, const VersionNumber& version,
          DataValidity validity) override {
        detail::TypedChannel<T>::deliver(sourceType, source, mayTake, version, validity);
        std::function<void()> call;
        {
          std::lock_guard lock(this->inbox().mutex);
          ++updates;
          call = listener;
        }
        if(call) call();
      }
      std::uint64_t updates{0};
      std::function<void()> listener;
    };
  } // namespace

  std::shared_ptr<detail::ReceiveChannel> makeControlSystemChannel(
      detail::Scheduler* scheduler, DataType type, std::size_t n) {
    auto inbox = std::make_shared<detail::Inbox>(scheduler, "control system");
    return callForType(type, [&](auto sample) -> std::shared_ptr<detail::ReceiveChannel> {
      using T = decltype(sample);
      return std::make_shared<ControlSystemChannel<T>>(detail::ReceiveChannel::Kind::latest, 1, inbox, type, n);
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

  void ControlSystemVariable::getRaw(void* vector, VersionNumber* version, DataValidity* validity) const {
    callForType(type(), [&](auto sample) {
      using T = decltype(sample);
      auto* channel = static_cast<ControlSystemChannel<T>*>(_channel.get());
      VersionNumber v{nullptr};
      DataValidity d{DataValidity::ok};
      std::lock_guard lock(channel->inbox().mutex);
      channel->peekLatest(*static_cast<std::vector<T>*>(vector), v, d);
      if(version) *version = v;
      if(validity) *validity = d;
    });
  }

  void ControlSystemVariable::checkWritable(std::size_t n) const {
    if(!_writable) throw logic_error("Variable " + path() + " is not writable by the control system");
    if(n != nElements()) {
      throw logic_error("Variable " + path() + " has " + std::to_string(nElements()) + " elements, " +
          std::to_string(n) + " were written");
    }
  }

  void ControlSystemVariable::setRaw(
      DataType sourceType, void* vector, const VersionNumber& version, DataValidity validity) {
    // the control system sees its own write as the newest value, the others get it through the network
    _channel->deliver(sourceType, vector, false, version, validity);
    _variable->send(_participant, sourceType, vector, version, validity, true);
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
        variable->setRaw(variable->type(), &zeros, VersionNumber{}, DataValidity::ok);
      });
    }
  }

} // namespace Corvane
