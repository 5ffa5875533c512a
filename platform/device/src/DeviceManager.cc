#include "Corvane/DeviceManager.h"

#include "Corvane/Application.h"
#include "Corvane/BackendFactory.h"
#include "Corvane/Logger.h"
#include "Corvane/RegisterEndpoint.h"
#include "Corvane/Time.h"
#include "Corvane/Utilities.h"
#include "Corvane/detail/Scheduler.h"

#include <algorithm>
#include <map>

namespace Corvane {

  namespace {
    struct Registry {
      std::mutex mutex;
      std::map<std::pair<const Application*, const DeviceBackend*>, std::weak_ptr<DeviceManager>> managers;
    };
    Registry& registry() {
      static Registry instance;
      return instance;
    }
  } // namespace

  std::shared_ptr<DeviceManager> DeviceManager::forDevice(const std::string& aliasOrDescriptor) {
    auto& app = Application::getInstance();
    Device device(aliasOrDescriptor);
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    auto key = std::make_pair(&app, device.getBackend().get());
    if(auto existing = r.managers[key].lock()) return existing;
    auto manager = std::make_shared<DeviceManager>(&app, aliasOrDescriptor, std::move(device));
    r.managers[key] = manager;
    return manager;
  }

  DeviceManager::DeviceManager(Module* owner, const std::string& alias, Device device)
  : ApplicationModule(owner, "/Devices/" + Utilities::escapeName(alias), "Device " + alias), _alias(alias),
    _device(std::move(device)) {
    // opening, initialisation scripts and recovery block outside the framework
    requestOwnThread();
  }

  detail::DeviceModuleState* DeviceManager::triggerReaderFor(
      const std::string& triggerPath, detail::DeviceModuleState* state) {
    return _triggerReaders.emplace(triggerPath, state).first->second;
  }

  void DeviceManager::forgetTriggerReader(detail::DeviceModuleState* state) {
    std::erase_if(_triggerReaders, [&](const auto& entry) { return entry.second == state; });
  }

  DeviceManager::~DeviceManager() {
    BackendFactory::getInstance().setCreationAllowed(true);
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    for(auto it = r.managers.begin(); it != r.managers.end();) {
      it = it->second.expired() ? r.managers.erase(it) : std::next(it);
    }
  }

  void DeviceManager::prepare() {
    setStatus(2, "not opened yet"); // OFF until the first successful opening
  }

  void DeviceManager::activate() {
    // every device of the application exists now; asking for another one is a mistake
    BackendFactory::getInstance().setCreationAllowed(false);
  }

  void DeviceManager::addInitialisationHandler(std::function<void(Device&)> handler) {
    _initialisationHandlers.push_back(std::move(handler));
  }

  void DeviceManager::addFeeder(detail::RegisterEndpointBase* endpoint) { _feeders.push_back(endpoint); }

  void DeviceManager::addWaiter(const std::shared_ptr<detail::Inbox>& inbox) {
    std::lock_guard lock(_waitersMutex);
    _waiters.push_back(inbox);
  }

  std::shared_ptr<detail::Inbox> DeviceManager::ownInbox() const {
    auto* node = entityNode();
    return node && node->runtime ? node->runtime->inbox : nullptr;
  }

  void DeviceManager::reportFault(const std::string& message) { putIntoFault(message, false); }

  void DeviceManager::requestReinitialisation(const std::string& reason) { putIntoFault(reason, true); }

  void DeviceManager::putIntoFault(const std::string& message, bool requested) {
    auto inbox = ownInbox();
    if(!inbox) {
      _faultMessage = message;
      _faultRequested = requested;
      _faultReported = true;
      return;
    }
    {
      std::lock_guard lock(inbox->mutex);
      // the first report since the device last worked decides the message
      if(!_faultReported) {
        _faultMessage = message;
        _faultRequested = requested;
      }
      _faultReported = true;
      inbox->scheduler->touch();
    }
    inbox->wake();
  }

  void DeviceManager::write(detail::RegisterEndpointBase& endpoint, const std::function<void()>& store) {
    std::lock_guard lock(_writeMutex);
    try {
      store();
    }
    catch(logic_error& e) {
      // a value the register cannot take (NaN to fixed point): refused, never written as garbage;
      // the value held before stays, so a recovery rewrites only values the register took
      Logger::instance().log(Logger::Severity::error, "Device " + _alias, e.what());
      return;
    }
    if(std::find(_written.begin(), _written.end(), &endpoint) == _written.end()) _written.push_back(&endpoint);
    if(!_functional) return; // held until the device works again
    try {
      endpoint.writeHeld();
    }
    catch(runtime_error& e) {
      reportFault(e.what());
    }
  }

  void DeviceManager::publishReadBack(detail::RegisterEndpointBase& endpoint) {
    auto inbox = ownInbox();
    std::unique_lock<std::mutex> lock;
    if(inbox) lock = std::unique_lock(inbox->mutex);
    if(std::find(_readBacks.begin(), _readBacks.end(), &endpoint) != _readBacks.end()) return;
    _readBacks.push_back(&endpoint);
    if(!inbox) return;
    inbox->scheduler->touch();
    lock.unlock();
    inbox->wake();
  }

  void DeviceManager::setStatus(int status, const std::string& message) {
    if(_status != status || _statusMessage.value() != message || !_status.accessorNode()->everWritten) {
      _status = status;
      _statusMessage = message;
      _status.write();
      _statusMessage.write();
    }
  }

  bool DeviceManager::recover() {
    {
      // a fault reported from here on belongs to this attempt or a later one: once the device
      // is functional again, the main loop sees it and starts another recovery
      std::lock_guard lock(entityNode()->runtime->inbox->mutex);
      _faultReported = false;
    }
    try {
      if(_device.isOpened()) _device.close();
      _device.open();
      for(auto& handler : _initialisationHandlers) handler(_device);
      if(!_firstValuesSent) {
        // one version for the state of the whole device at its opening
        VersionNumber firstValues;
        for(auto* endpoint : _feeders)
          if(endpoint->info().isReadable()) endpoint->sendValue(firstValues, false);
        _firstValuesVersion = firstValues;
        _firstValuesSent = true;
      }
      {
        // rewrite what was written before, in the order of the first writes; later writes
        // block here and go straight to the device once it is functional
        std::lock_guard lock(_writeMutex);
        for(auto* endpoint : _written) endpoint->writeHeld();
        _functional = true;
      }
    }
    catch(InitialisationPending&) {
      return false;
    }
    catch(std::exception& e) {
      try {
        if(_device.isOpened()) _device.close();
      }
      catch(std::exception&) {
      }
      std::string message = e.what();
      if(message != _lastLoggedError) {
        Logger::instance().log(Logger::Severity::error, "Device " + _alias, message);
        _lastLoggedError = message;
      }
      setStatus(1, message);
      return false;
    }
    _lastLoggedError.clear();
    setStatus(0, "");
    std::vector<std::shared_ptr<detail::Inbox>> waiters;
    {
      std::lock_guard lock(_waitersMutex);
      for(auto& weak : _waiters)
        if(auto inbox = weak.lock()) waiters.push_back(std::move(inbox));
    }
    for(auto& inbox : waiters) {
      std::lock_guard lock(inbox->mutex);
      inbox->scheduler->touch();
      inbox->wake();
    }
    return true;
  }

  void DeviceManager::mainLoop() {
    auto* inbox = detail::currentInbox();
    while(true) {
      if(!recover()) {
        sleepFor(std::chrono::seconds(1));
        continue;
      }
      std::string message;
      bool requested = false;
      while(true) {
        std::vector<detail::RegisterEndpointBase*> readBacks;
        {
          std::unique_lock lock(inbox->mutex);
          inbox->wait(lock, [&] { return _faultReported.load() || !_readBacks.empty(); });
          if(_faultReported) {
            message = _faultMessage;
            requested = _faultRequested;
            break;
          }
          readBacks.swap(_readBacks);
        }
        for(auto* endpoint : readBacks) endpoint->publishHeldValue(_writeMutex);
      }
      _functional = false;
      // a re-initialisation someone asked for is no failure: the same cycle, logged as information
      if(requested) {
        Logger::instance().log(Logger::Severity::info, "Device " + _alias, "re-initialisation requested: " + message);
      }
      else {
        Logger::instance().log(Logger::Severity::error, "Device " + _alias, "fault: " + message);
      }
      _lastLoggedError = message;
      setStatus(1, message);
      sleepFor(std::chrono::seconds(1)); // the first attempt to recover comes a second later
    }
  }

} // namespace Corvane
