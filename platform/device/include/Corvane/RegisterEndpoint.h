// The register of a device as a participant of the variable network: it feeds its variable
// (read on the device module's trigger, at poll reads and on interrupts) and/or consumes it
// (values written to the device through the device's manager).
//
// A written value that the register cannot hold saturates (a warning is logged, see
// TransferElement), and the device's thread then publishes what the register holds, as a new
// value, so that the control system does not show a value the board never took: on a
// bidirectional variable (an operator setting, an output with read-back) it is a write back
// that reaches every other participant, the writing module's read-back included; on a variable
// that only its feeder writes it goes to the control system alone (the modules reading the
// variable keep the feeder's values). A write that comes meanwhile is published again, so
// every participant that got the saturated value ends with the value the register holds.
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
    /// Publishes the value the register holds after a saturated write (see above); `writeMutex`
    /// is the manager's write mutex. Called on the device's thread.
    virtual void publishHeldValue(std::mutex& writeMutex) = 0;

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
    void publishHeldValue(std::mutex& writeMutex) override;

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
    std::uint64_t _heldGeneration{0}; // counts the accepted writes, under the manager's write mutex
  };

} // namespace Corvane::detail
