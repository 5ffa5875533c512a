#include "Corvane/DeviceModule.h"

#include "Corvane/RegisterEndpoint.h"
#include "Corvane/RegisterPath.h"
#include "Corvane/TransferGroup.h"
#include "Corvane/Utilities.h"
#include "Corvane/WakeUpBatch.h"
#include "Corvane/detail/Scheduler.h"

namespace Corvane {

  DeviceModule::DeviceModule(Module* owner, const std::string& deviceAlias, const std::string& triggerPath,
      std::function<void(Device&)> initialisationHandler, const std::string& pathInDevice)
  : ModuleGroup(owner, ".", "Device " + deviceAlias), _alias(deviceAlias), _pathInDevice(pathInDevice) {
    if(!hasOwner()) return; // a placeholder
    auto normalised = RegisterPath::normalise(pathInDevice);
    if(!normalised) throw logic_error("Device module for " + deviceAlias + ": invalid path '" + pathInDevice + "'");
    _pathInDevice = *normalised;
    _manager = DeviceManager::forDevice(deviceAlias);
    const auto& map = _manager->device().getRegisterMap();
    if(_pathInDevice != "/" && map.registersBelow(_pathInDevice).empty()) {
      // the map may hold no register at all (an empty or truncated file): name the file itself
      throw logic_error("Device " + deviceAlias + " has no registers below '" + _pathInDevice + "' (register map " +
          (map.fileName().empty() ? std::string("without file") : map.fileName()) + ")");
    }
    if(initialisationHandler) _manager->addInitialisationHandler(std::move(initialisationHandler));
    _state = std::make_unique<detail::DeviceModuleState>();
    _state->manager = _manager;
    if(!triggerPath.empty()) {
      std::string error;
      auto absoluteTrigger = Utilities::resolvePath(entityNode()->directory(), triggerPath, error);
      auto* reader = absoluteTrigger.empty() ? _state.get() : _manager->triggerReaderFor(absoluteTrigger, _state.get());
      if(reader == _state.get()) {
        _reader = TriggerReader(this, triggerPath, _state.get());
      }
      else {
        // the device is read on this trigger already: that reader reads these registers too
        reader->sharers.push_back(_state.get());
        _state->reader = reader;
      }
    }
  }

  detail::DeviceModuleState::~DeviceModuleState() {
    if(reader) std::erase(reader->sharers, this);
    for(auto* sharer : sharers) sharer->reader = nullptr;
    if(manager) manager->forgetTriggerReader(this);
  }

  void DeviceModule::reportException(const std::string& message) {
    if(_manager) _manager->reportFault(message);
  }

  void DeviceModule::addInitialisationHandler(std::function<void(Device&)> handler) {
    if(_manager) _manager->addInitialisationHandler(std::move(handler));
  }

  VersionNumber DeviceModule::lastTriggerVersion() const {
    return _state ? _state->lastTriggerVersion() : VersionNumber(nullptr);
  }

  std::vector<DeviceModule::RegisterVariable> DeviceModule::getRegisterVariables(const std::string& subtree) const {
    std::vector<RegisterVariable> result;
    if(!_manager) return result;
    auto directory = RegisterPath::normalise(_pathInDevice == "/" ? subtree : _pathInDevice + "/" + subtree);
    if(!directory) throw logic_error("Device " + _alias + ": invalid register sub-tree '" + subtree + "'");
    auto base = entityNode()->directory();
    for(auto* info : _manager->device().getRegisterMap().registersBelow(*directory)) {
      std::string error;
      result.push_back({Utilities::resolvePath(base, RegisterPath::relativeTo(info->path, _pathInDevice), error),
          RegisterPath::relativeTo(info->path, *directory), info});
    }
    return result;
  }

  std::vector<std::string> DeviceModule::getVariablePaths(const std::string& subtree) const {
    std::vector<std::string> paths;
    for(auto& variable : getRegisterVariables(subtree)) paths.push_back(variable.path);
    return paths;
  }

  void DeviceModule::addExternalEndpoints(std::vector<std::shared_ptr<detail::ExternalEndpoint>>& endpoints) {
    if(!_manager) return;
    auto& device = _manager->device();
    auto base = entityNode()->directory();
    for(auto* info : device.getRegisterMap().registersBelow(_pathInDevice)) {
      std::string error;
      auto path = Utilities::resolvePath(base, RegisterPath::relativeTo(info->path, _pathInDevice), error);
      if(path.empty()) {
        throw logic_error("Register " + info->path + " (" + info->location() + ") gives no valid variable name: " + error);
      }
      auto endpoint = callForType(info->naturalType(), [&](auto sample) -> std::shared_ptr<detail::RegisterEndpointBase> {
        using T = decltype(sample);
        return std::make_shared<detail::RegisterEndpoint<T>>(*_state, *info, device);
      });
      endpoint->path = path;
      endpoints.push_back(endpoint);
    }
  }

  DeviceModule::TriggerReader::TriggerReader(
      DeviceModule* owner, const std::string& triggerPath, detail::DeviceModuleState* state_)
  : ApplicationModule(owner, ".", "Reads the device's registers on each trigger"), state(state_) {
    trigger = ScalarPushInput<std::int64_t>(this, triggerPath, "", "Trigger of the device's register reads");
    trigger.startWithoutInitialValue();
  }

  void DeviceModule::TriggerReader::mainLoop() {
    auto* inbox = detail::currentInbox();
    auto& manager = *state->manager;
    manager.addWaiter(entityNode()->runtime->inbox);
    std::vector<detail::DeviceModuleState*> states{state};
    states.insert(states.end(), state->sharers.begin(), state->sharers.end());
    TransferGroup group;
    for(auto* read : states)
      for(auto* endpoint : read->triggered) group.add(endpoint->triggerElement());
    // every value of the trigger is a pulse, its first one too (the reader does not wait for an
    // initial value: a DAQ mode entered later writes its trigger for the first time then)
    while(true) {
      trigger.read();
      if(!manager.isFunctional()) {
        {
          // reads of a faulty device wait for its recovery
          std::unique_lock lock(inbox->mutex);
          inbox->wait(lock, [&] { return manager.isFunctional(); });
        }
        // the pulses of the triggers that came meanwhile are gone: today's data is read once,
        // for the newest of them, and not replayed labelled as older pulses
        trigger.readLatest();
      }
      auto version = trigger.getVersionNumber();
      // a pulse from before the device's opening: consumers hold its first values, which are newer
      if(version <= manager.firstValuesVersion()) continue;
      try {
        group.read();
        for(auto* read : states) {
          std::lock_guard lock(read->versionMutex);
          read->lastTrigger = version;
        }
        // a reader of several registers wakes once, when all of them are there
        WakeUpBatch batch;
        for(auto* read : states)
          for(auto* endpoint : read->triggered) endpoint->sendValue(version, true);
      }
      catch(runtime_error& e) {
        manager.reportFault(e.what());
      }
    }
  }

} // namespace Corvane
