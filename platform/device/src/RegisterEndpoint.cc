#include "Corvane/RegisterEndpoint.h"

#include "Corvane/DeviceManager.h"
#include "Corvane/DeviceModule.h"

#include <algorithm>

namespace Corvane::detail {

  namespace {
    /// The receiving end of a writable register: converts and hands the value to the device.
    template<class T>
    class RegisterWriteChannel final : public ReceiveChannel {
     public:
      RegisterWriteChannel(RegisterEndpoint<T>& endpoint, std::size_t n)
      : ReceiveChannel(Kind::latest, 1, nullptr, dataTypeOf<T>(), n), _endpoint(endpoint) {}

      void deliver(VectorRef source, bool mayTake, const VersionNumber&, DataValidity) override {
        std::vector<T> value;
        fillBuffer(value, source, mayTake);
        _endpoint.hold(std::move(value));
      }
      std::size_t size() const override { return 0; }
      std::uint64_t headSequence() const override { return 0; }
      void clear() override {}

     private:
      RegisterEndpoint<T>& _endpoint;
    };
  } // namespace

  RegisterEndpointBase::RegisterEndpointBase(DeviceModuleState& module, const RegisterInfo& info)
  : _manager(*module.manager), _module(module), _info(info) {}

  void RegisterEndpointBase::networkComplete() {
    if(!isFeeder()) return;
    _manager.addFeeder(this);
    if(_info.isInterrupt()) {
      _interrupt = _manager.device().subscribeInterrupt(_info.path, [this] {
        if(!_manager.isFunctional()) return;
        try {
          sendValue(VersionNumber{}, false);
        }
        catch(runtime_error& e) {
          _manager.reportFault(e.what());
        }
      });
    }
    else if(_info.isReadable()) {
      _module.triggered.push_back(this);
    }
  }

  template<class T>
  RegisterEndpoint<T>::RegisterEndpoint(DeviceModuleState& module, const RegisterInfo& info, Device& device)
  : RegisterEndpointBase(module, info) {
    type = dataTypeOf<T>();
    nElements = info.nElements;
    feederRank = info.isReadable() ? 1 : 0;
    consumes = info.isWritable();
    what = "register " + info.path + " of device " + device.getName() + " (" + info.location() + ")";
    if(info.isReadable() && !info.isInterrupt()) {
      _triggerAccessor = device.getRegisterAccessor<T>(info.path, info.nElements, 0);
      _pullAccessor = device.getRegisterAccessor<T>(info.path, info.nElements, 0);
    }
    else if(info.isInterrupt() && info.hasData()) {
      _triggerAccessor = device.getRegisterAccessor<T>(info.path, info.nElements, 0);
    }
    if(info.isWritable()) _writeAccessor = device.getRegisterAccessor<T>(info.path, info.nElements, 0);
  }

  template<class T>
  std::shared_ptr<ReceiveChannel> RegisterEndpoint<T>::makeReceiver(Application&) {
    if(!_writeAccessor) return nullptr;
    return std::make_shared<RegisterWriteChannel<T>>(*this, nElements);
  }

  template<class T>
  void RegisterEndpoint<T>::networkComplete() {
    RegisterEndpointBase::networkComplete();
    if(!isFeeder() || !_pullAccessor) return;
    // poll inputs read the register at each read()
    for(auto& participant : variable->participants) {
      auto* accessor = participant.accessor;
      if(!accessor || accessor->isFeeding() || accessor->mode != UpdateMode::poll) continue;
      auto* channel = participant.receiver.get();
      accessor->pull = [this, channel, accessor] { pullInto(*channel, *accessor); };
    }
  }

  template<class T>
  void RegisterEndpoint<T>::sendValue(const VersionNumber& version, bool alreadyRead) {
    if(!variable) return;
    if(!_triggerAccessor) {
      // an interrupt without data: the event itself is the value
      std::vector<T> event(nElements);
      variable->send(participant, &event, version, DataValidity::ok, true);
      return;
    }
    if(!alreadyRead) _triggerAccessor->read();
    auto& value = _triggerAccessor->value();
    if(_spare.size() != value.size()) _spare.resize(value.size());
    value.swap(_spare);
    variable->send(participant, &_spare, version, DataValidity::ok, true);
  }

  template<class T>
  void RegisterEndpoint<T>::pullInto(ReceiveChannel& channel, AccessorNode& reader) {
    std::lock_guard lock(_pullMutex);
    if(_manager.isFunctional()) {
      try {
        _pullAccessor->read();
        auto copy = _pullAccessor->value();
        // the module's last trigger version (null without a trigger), never older than the
        // version of the value the reader holds
        channel.deliver(&copy, true, std::max(_module.lastTriggerVersion(), reader.version), DataValidity::ok);
        return;
      }
      catch(runtime_error& e) {
        _manager.reportFault(e.what());
      }
    }
    // the device is not functional: the reader gets its last value again, marked faulty; a reader
    // that has no value yet waits for the device's first values instead of taking an empty one
    if(!reader.hasValue) return;
    channel.deliver(reader.writableBuffer(), false, reader.version, DataValidity::faulty);
  }

  template<class T>
  void RegisterEndpoint<T>::hold(std::vector<T> value) {
    bool saturated = false;
    _manager.write(*this, [&] {
      // converted before it is kept: a value the register cannot take leaves the one held before
      auto& held = _writeAccessor->value();
      held.swap(value);
      try {
        _writeAccessor->convertForWrite();
      }
      catch(logic_error&) {
        held.swap(value);
        throw;
      }
      ++_heldGeneration;
      saturated = _writeAccessor->lastSaturation().count > 0;
    });
    if(saturated) _manager.publishReadBack(*this);
  }

  template<class T>
  void RegisterEndpoint<T>::publishHeldValue(std::mutex& writeMutex) {
    if(!variable) return;
    ReceiveChannel* controlSystem =
        variable->controlSystem ? variable->participants[*variable->controlSystem].receiver.get() : nullptr;
    for(bool sent = false;; sent = true) {
      std::vector<T> held;
      std::uint64_t generation = 0;
      {
        std::lock_guard lock(writeMutex);
        // a later write that fitted reached everybody already
        if(!sent && _writeAccessor->lastSaturation().count == 0) return;
        generation = _heldGeneration;
        held = _writeAccessor->convertedValue();
      }
      if(variable->bidirectional) {
        variable->send(participant, &held, VersionNumber{}, DataValidity::ok, true);
      }
      else if(controlSystem) {
        controlSystem->deliver(&held, true, VersionNumber{}, DataValidity::ok);
      }
      // a write in between may have reached some participants before this value: send its value again
      std::lock_guard lock(writeMutex);
      if(_heldGeneration == generation) return;
    }
  }

  template<class T>
  void RegisterEndpoint<T>::writeHeld() {
    _writeAccessor->writeConverted();
  }

  template class RegisterEndpoint<std::int8_t>;
  template class RegisterEndpoint<std::uint8_t>;
  template class RegisterEndpoint<std::int16_t>;
  template class RegisterEndpoint<std::uint16_t>;
  template class RegisterEndpoint<std::int32_t>;
  template class RegisterEndpoint<std::uint32_t>;
  template class RegisterEndpoint<std::int64_t>;
  template class RegisterEndpoint<std::uint64_t>;
  template class RegisterEndpoint<float>;
  template class RegisterEndpoint<double>;
  template class RegisterEndpoint<std::string>;
  template class RegisterEndpoint<Boolean>;
  template class RegisterEndpoint<Void>;

} // namespace Corvane::detail
