// A device's registers as process variables.
//
// The registers below `pathInDevice` become variables at the owner's level (a register
// "/ToControlSystem/Controller/Status/word" with pathInDevice "/ToControlSystem" is the variable
// "Controller/Status/word" relative to the owner). Readable registers feed their variables:
// on every update of the trigger each readable, non-interrupt register of the module is read
// once in one transfer group and sent with the trigger's version (device modules of one device
// on one trigger share a reader: one transfer group reads the registers of all of them); a poll input reads the
// register at each read() (carrying the last trigger's version, or the version of the value it
// holds when that is newer); interrupt registers push when their interrupt fires. Writable
// registers consume: what modules write goes to the device. Faults and recovery are the
// device's (see DeviceManager): module code never sees a device exception.
//
// No consumer receives an older version than one it already got on the same variable: the
// first values after the device's opening carry one new version, and a trigger that is not
// newer is not read (its pulse came before the device could be read). Triggers that arrive
// while the device is faulty are gone pulses: after the recovery the registers are read once,
// for the newest of them. During a fault a poll read returns the reader's last value marked
// faulty (a reader without any value yet gets none).
#pragma once

#include <Corvane/Device.h>
#include <Corvane/DeviceManager.h>
#include <Corvane/ModuleGroup.h>
#include <Corvane/ScalarAccessor.h>

#include <functional>
#include <memory>
#include <mutex>

namespace Corvane {

  namespace detail {
    /// What a device module's registers and trigger thread share; stays in place when the
    /// module object is moved.
    struct DeviceModuleState {
      DeviceModuleState() = default;
      DeviceModuleState(const DeviceModuleState&) = delete;
      DeviceModuleState& operator=(const DeviceModuleState&) = delete;
      ~DeviceModuleState();
      std::shared_ptr<DeviceManager> manager;
      std::vector<RegisterEndpointBase*> triggered;
      /// Other modules of the device on the same trigger, whose registers this module's reader
      /// reads too (they have no reader of their own).
      std::vector<DeviceModuleState*> sharers;
      DeviceModuleState* reader{nullptr}; // the state whose reader reads this module's registers
      mutable std::mutex versionMutex;
      VersionNumber lastTrigger{nullptr};
      VersionNumber lastTriggerVersion() const {
        std::lock_guard lock(versionMutex);
        return lastTrigger;
      }
    };
  } // namespace detail

  class DeviceModule : public ModuleGroup {
   public:
    DeviceModule() = default;
    /// `triggerPath` empty: no triggered reads (poll reads and interrupts only).
    DeviceModule(Module* owner, const std::string& deviceAlias, const std::string& triggerPath = "",
        std::function<void(Device&)> initialisationHandler = {}, const std::string& pathInDevice = "/");
    DeviceModule(DeviceModule&&) noexcept = default;
    DeviceModule& operator=(DeviceModule&&) noexcept = default;

    /// Puts the device into fault; its recovery re-opens it and runs the init handlers again.
    void reportException(const std::string& message);

    const std::string& getDeviceAlias() const { return _alias; }
    Device& device() { return _manager->device(); }
    std::shared_ptr<DeviceManager> manager() const { return _manager; }
    void addInitialisationHandler(std::function<void(Device&)> handler);

    /// A register of this module as a process variable.
    struct RegisterVariable {
      std::string path;         ///< absolute process-variable path
      std::string relativeName; ///< register path relative to the sub-tree it was listed from
      const RegisterInfo* info{nullptr};
    };
    /// The registers below `subtree` (relative to pathInDevice); empty for a placeholder.
    std::vector<RegisterVariable> getRegisterVariables(const std::string& subtree = "/") const;
    /// Process-variable paths of the registers below `subtree`.
    std::vector<std::string> getVariablePaths(const std::string& subtree = "/") const;

    /// Version of the last trigger (for poll reads of registers).
    VersionNumber lastTriggerVersion() const;

   protected:
    void addExternalEndpoints(std::vector<std::shared_ptr<detail::ExternalEndpoint>>& endpoints) override;

   private:
    /// Reads the module's registers on each trigger.
    struct TriggerReader : ApplicationModule {
      TriggerReader() = default;
      TriggerReader(DeviceModule* owner, const std::string& triggerPath, detail::DeviceModuleState* state);
      void mainLoop() override;
      ScalarPushInput<std::int64_t> trigger;
      detail::DeviceModuleState* state{nullptr};
    };

    std::string _alias;
    std::string _pathInDevice;
    std::shared_ptr<DeviceManager> _manager;
    std::unique_ptr<detail::DeviceModuleState> _state;
    TriggerReader _reader;
  };

  /// Same as DeviceModule; kept as its own name for configurations that list extra devices.
  using ConnectingDeviceModule = DeviceModule;

} // namespace Corvane
