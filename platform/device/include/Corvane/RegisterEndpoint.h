// The register of a device as a participant of the variable network: it feeds its variable
// (read on the device module's trigger, at poll reads and on interrupts) and/or consumes it
// (values written to the device through the device's manager).
#pragma once

#include <Corvane/Conversion.h>
#include <Corvane/Device.h>
#include <Corvane/InterruptSubscription.h>
#include <Corvane/Logger.h>
#include <Corvane/RegisterAccessor.h>
#include <Corvane/detail/NetworkVariable.h>
#include <Corvane/detail/Nodes.h>

#include <memory>
#include <mutex>

namespace Corvane {
  class DeviceManager;
  namespace detail {
    struct DeviceModuleState;
  }
} // namespace Corvane

namespace Corvane::detail {

  class RegisterEndpointBase : public ExternalEndpoint {
   public:
    RegisterEndpointBase(DeviceModuleState& module, const RegisterInfo& info);

    const RegisterInfo& info() const { return _info; }
    /// Reads the register (with the trigger's transfer group done by the caller when
    /// `alreadyRead`) and sends the value to every consumer with `version`.
    virtual void sendValue(const VersionNumber& version, bool alreadyRead) = 0;
    /// Writes the held value (converted when it was held) to the device. Called under the
    /// manager's write mutex; throws only faults of the device.
    virtual void writeHeld() = 0;
    bool hasTriggerRead() const { return _info.isReadable() && !_info.isInterrupt(); }
    /// The accessor that the device module's trigger reads in one transfer group.
    virtual std::shared_ptr<TransferElement> triggerElement() = 0;

    void networkComplete() override;

   protected:
    DeviceManager& _manager;
    DeviceModuleState& _module;
    RegisterInfo _info;
    InterruptSubscription _interrupt;
  };

  template<class T>
  class RegisterEndpoint final : public RegisterEndpointBase {
   public:
    RegisterEndpoint(DeviceModuleState& module, const RegisterInfo& info, Device& device);

    std::shared_ptr<ReceiveChannel> makeReceiver(Application&) override;
    void networkComplete() override;
    void sendValue(const VersionNumber& version, bool alreadyRead) override;
    void writeHeld() override;
    std::shared_ptr<TransferElement> triggerElement() override { return _triggerAccessor; }

    /// Poll read of a module input: the register's present value, or the last one marked faulty
    /// while the device is not functional.
    void pullInto(ReceiveChannel& channel, AccessorNode& reader);
    /// A value to write, converted to the register's type. A value the register cannot take
    /// (NaN to fixed point) is refused and logged; the value held before stays.
    void hold(std::vector<T> value);

   private:
    std::shared_ptr<RegisterAccessor<T>> _triggerAccessor, _pullAccessor, _writeAccessor;
    std::vector<T> _spare;
    std::mutex _pullMutex;
  };

} // namespace Corvane::detail
