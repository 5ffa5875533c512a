// One device of the running application, shared by every device module that reaches it
// (modules of one alias, or of aliases with an identical descriptor).
//
// Its thread opens the device, runs the initialisation handlers, sends the first values of its
// registers (all with one version) and writes the values held for the device. A fault (an
// exception of the backend, or reportFault()) marks the device faulty; the thread then
// re-opens it every second (the first time one second after the fault) until it works again,
// runs the handlers, writes the latest value of every written register again in the order of
// the first writes, and lets the device modules resume. A fault reported while a recovery runs
// is not lost: the next recovery follows. Writes made while the device is not functional are
// held (latest value per register). A value that the register cannot take (NaN to fixed
// point) is refused with an error in the log and never held: the value held before stays, and
// recoveries rewrite only values the register took. After a write that the register holds
// saturated, the thread publishes what the register holds (see RegisterEndpoint.h) once it is
// waiting in the functional state.
//
// Published below "/Devices/<alias>": "status" (0 OK, 1 FAULT, 2 OFF before the first
// successful opening; collected by status aggregators) and "status_message" (the last error,
// empty when OK).
#pragma once

#include <Corvane/ApplicationModule.h>
#include <Corvane/Device.h>
#include <Corvane/ScalarAccessor.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace Corvane {

  namespace detail {
    class RegisterEndpointBase;
    struct DeviceModuleState;
  }

  /// Thrown by an initialisation handler whose failure should not count yet (a script within
  /// its error grace period): the device stays closed and is retried without a FAULT status.
  class InitialisationPending : public runtime_error {
   public:
    using runtime_error::runtime_error;
  };

  class DeviceManager : public ApplicationModule {
   public:
    /// The manager of the device that `aliasOrDescriptor` names in the running application;
    /// created (owned by the application) when the first device module asks for it.
    static std::shared_ptr<DeviceManager> forDevice(const std::string& aliasOrDescriptor);

    DeviceManager(Module* owner, const std::string& alias, Device device);
    ~DeviceManager() override;

    Device& device() { return _device; }
    const std::string& alias() const { return _alias; }
    bool isFunctional() const { return _functional.load(std::memory_order_acquire); }

    /// Puts the device into fault from any thread; returns at once. Logged as an error.
    void reportFault(const std::string& message);
    /// The same cycle on request (an operator's forced re-initialisation): status FAULT with
    /// `reason` as its message, re-opening, the handlers, status OK; logged as information, since
    /// nothing failed. From any thread; returns at once.
    void requestReinitialisation(const std::string& reason);

    void addInitialisationHandler(std::function<void(Device&)> handler);

    /// Stores a register's value (`store` runs under the write lock and converts it for the
    /// register; a Corvane::logic_error from it refuses the value, which is logged) and writes
    /// it, or holds it while the device is not functional.
    void write(detail::RegisterEndpointBase& endpoint, const std::function<void()>& store);
    /// Has the device's thread publish the value the register holds after a saturated write.
    void publishReadBack(detail::RegisterEndpointBase& endpoint);

    /// Version of the first values sent after the first opening (null before). Valid for a
    /// thread that saw isFunctional() once.
    const VersionNumber& firstValuesVersion() const { return _firstValuesVersion; }

    // book-keeping of the device modules' endpoints and threads
    /// The state of the device module whose trigger reader reads this device on the trigger
    /// `triggerPath` (absolute): the first that asked, `state` itself when it is the first. One
    /// reader per trigger reads the registers of every module of the device in one transfer.
    detail::DeviceModuleState* triggerReaderFor(const std::string& triggerPath, detail::DeviceModuleState* state);
    /// Forgets a device module's state (its module is destroyed).
    void forgetTriggerReader(detail::DeviceModuleState* state);
    void addFeeder(detail::RegisterEndpointBase* endpoint);
    void addWaiter(const std::shared_ptr<detail::Inbox>& inbox);

    void prepare() override;
    void mainLoop() override;

   protected:
    void activate() override;

   private:
    bool recover();
    void putIntoFault(const std::string& message, bool requested);
    /// The inbox of this module's thread; null until the application has connected its modules.
    std::shared_ptr<detail::Inbox> ownInbox() const;
    void setStatus(int status, const std::string& message);

    std::string _alias;
    Device _device;
    std::vector<std::function<void(Device&)>> _initialisationHandlers;
    std::atomic<bool> _functional{false};
    std::atomic<bool> _faultReported{false};
    bool _firstValuesSent{false};
    VersionNumber _firstValuesVersion{nullptr};
    std::string _faultMessage;
    bool _faultRequested{false}; // the pending fault was asked for (guarded like _faultMessage)
    std::mutex _writeMutex;
    std::vector<detail::RegisterEndpointBase*> _written; // in the order of their first write
    std::vector<detail::RegisterEndpointBase*> _feeders;
    std::vector<detail::RegisterEndpointBase*> _readBacks; // to publish; under the inbox mutex once threads run
    std::mutex _waitersMutex;
    std::vector<std::weak_ptr<detail::Inbox>> _waiters;
    std::string _lastLoggedError;
    std::map<std::string, detail::DeviceModuleState*> _triggerReaders; // built before the threads run

    ScalarOutput<std::int32_t> _status{this, "status", "", "Status of the device (0 OK, 1 FAULT)",
        {"_Corvane_StatusOutput_statusOutput"}};
    ScalarOutput<std::string> _statusMessage{this, "status_message", "", "Last error of the device"};
  };

} // namespace Corvane
