#include "Corvane/Application.h"

#include "Corvane/ApplicationModule.h"
#include "Corvane/ControlSystem.h"
#include "Corvane/Exception.h"
#include "Corvane/Logger.h"
#include "Corvane/StartUpRefusal.h"
#include "Corvane/Utilities.h"
#include "Corvane/detail/Network.h"
#include "Corvane/detail/Nodes.h"
#include "Corvane/detail/Scheduler.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <utility>

namespace Corvane {

  using detail::EntityKind;
  using detail::EntityNode;
  using State = Application::State;

  namespace {
    Application*& instancePointer() {
      static Application* instance{nullptr};
      return instance;
    }

    std::string stateName(State state) {
      switch(state) {
        case State::constructed: return "constructed";
        case State::initialised: return "initialised";
        case State::running: return "running";
        case State::shuttingDown: return "shutting down";
        case State::shutDown: return "shut down";
      }
      return "?";
    }

    /// Every transition of the life cycle (Application.h); any other is refused.
    constexpr std::array<std::pair<State, State>, 6> validTransitions{{
        {State::constructed, State::initialised},
        {State::initialised, State::running},
        {State::constructed, State::shuttingDown},
        {State::initialised, State::shuttingDown},
        {State::running, State::shuttingDown},
        {State::shuttingDown, State::shutDown},
    }};

    bool isValidTransition(State from, State to) {
      return std::find(validTransitions.begin(), validTransitions.end(), std::pair{from, to}) != validTransitions.end();
    }
  } // namespace

  Application::Application(const std::string& name)
  : ModuleGroup(nullptr, EntityKind::application, name, "", {}), _scheduler(std::make_unique<detail::Scheduler>()),
    _network(std::make_unique<detail::Network>(*this)), _controlSystem(std::make_unique<ControlSystem>()) {
    if(instancePointer()) {
      throw logic_error("Application '" + name + "' cannot be created: application '" +
          instancePointer()->getName() + "' exists already");
    }
    instancePointer() = this;
  }

  Application::~Application() {
    auto state = _state.load();
    if(state == State::running || state == State::shuttingDown) {
      // the derived class's members are gone already while module threads may still use them
      std::fprintf(stderr,
          "Application '%s' destroyed while %s: its owner must call shutdown() before destroying it "
          "(a TestFacility declared after the application does); aborting\n",
          getName().c_str(), stateName(state).c_str());
      std::fflush(stderr);
      std::abort();
    }
    // no module thread ever ran (or all were joined): shutdown() has nothing to stop, it completes the life cycle
    shutdown();
    if(instancePointer() == this) instancePointer() = nullptr;
  }

  Application& Application::getInstance() {
    if(!instancePointer()) throw logic_error("No application exists");
    return *instancePointer();
  }

  bool Application::hasInstance() { return instancePointer() != nullptr; }

  void Application::requireTransition(State to, const char* action) const {
    auto current = _state.load();
    if(!isValidTransition(current, to)) {
      throw logic_error("Application " + getName() + " cannot be " + action + " in state " + stateName(current) +
          " (no transition from " + stateName(current) + " to " + stateName(to) + ")");
    }
  }

  void Application::enterState(State from, State to) {
    if(!isValidTransition(from, to)) {
      throw logic_error("Application " + getName() + ": invalid state transition from " + stateName(from) + " to " +
          stateName(to));
    }
    auto expected = from;
    if(!_state.compare_exchange_strong(expected, to)) {
      throw logic_error("Application " + getName() + ": cannot go from state " + stateName(from) + " to " +
          stateName(to) + ", the state is " + stateName(expected));
    }
  }

  void Application::initialise() {
    requireTransition(State::initialised, "initialised");
    _network->build();
    _network->sendEndpointInitialValues();
    enterState(State::constructed, State::initialised);
  }

  void Application::run() {
    if(_state.load() == State::constructed) initialise();
    requireTransition(State::running, "run");
    auto& entities = _network->entities();
    for(auto* node : entities)
      if(auto* module = dynamic_cast<Module*>(node->object)) module->activate();
    // a module that refuses to start ends the process here, before any module thread runs
    auto prepare = [](Module& module) {
      try {
        module.prepare();
      }
      catch(const StartUpRefusal& refusal) {
        refusal.endProcess();
      }
    };
    // modules first, each followed by its variable groups (depth first, construction order)
    for(auto* node : entities) {
      if(node->kind == EntityKind::variableGroup || node->prepared) continue;
      if(auto* module = dynamic_cast<Module*>(node->object)) prepare(*module);
      node->prepared = true;
      if(node->kind != EntityKind::applicationModule) continue;
      auto prepareGroups = [&](auto& self, EntityNode* parent) -> void {
        for(auto* child : parent->children) {
          if(child->kind != EntityKind::variableGroup || child->disabled) continue;
          if(!child->prepared) {
            child->prepared = true;
            if(auto* group = dynamic_cast<Module*>(child->object)) prepare(*group);
          }
          self(self, child);
        }
      };
      prepareGroups(prepareGroups, node);
    }
    _controlSystem->sendInitialValues();
    enterState(State::initialised, State::running);
    startTasks();
  }

  void Application::startTasks() {
    std::vector<detail::Executor::Task> tasks;
    for(auto* node : _network->applicationModules()) {
      // counted as busy from now on, so that a test never sees a task that has not started as idle
      {
        auto& inbox = *node->runtime->inbox;
        std::lock_guard lock(inbox.mutex);
        inbox.setState(detail::Inbox::State::running);
      }
      tasks.push_back({node->qualifiedName(), node->effectiveExecutionGroup(), node->ownThread,
          [this, node] { runModuleThread(node); }});
    }
    _executor = std::make_unique<detail::Executor>(_executorSettings, [this](const std::string& task, auto held) {
      Logger::instance().log(Logger::Severity::error, task,
          "has kept its worker thread for " + std::to_string(held.count()) +
              " ms without waiting: the other modules of its execution group cannot run meanwhile");
      if(_unyieldingTaskObserver) _unyieldingTaskObserver(task);
    });
    _executor->start(std::move(tasks));
  }

  std::size_t Application::taskThreadCount() const { return _executor ? _executor->threadCount() : 0; }

  void Application::runModuleThread(EntityNode* node) {
    auto& inbox = *node->runtime->inbox;
    detail::currentInbox() = &inbox;
    auto path = node->qualifiedName();
    auto* module = dynamic_cast<ApplicationModule*>(node->object);
    try {
      // every input holds a value before the main loop starts
      auto inputs = _network->inputsOf(node);
      for(auto* input : inputs) {
        if(input->pull) input->pull();
      }
      std::unique_lock lock(inbox.mutex);
      auto allArrived = [&] {
        for(auto* input : inputs)
          if(input->channel->size() == 0) return false;
        return true;
      };
      if(!_scheduler->inTestMode()) {
        // in real time, say which inputs keep the module waiting
        if(!inbox.cv.wait_for(lock, std::chrono::seconds(5), [&] { return allArrived() || _scheduler->isShuttingDown(); })) {
          std::ostringstream missing;
          for(auto* input : inputs)
            if(input->channel->size() == 0) missing << "\n  " << input->path();
          Logger::instance().log(Logger::Severity::warning, path, "still waiting for initial values of:" + missing.str());
        }
      }
      inbox.wait(lock, allArrived);
      for(auto* input : inputs) input->takeLocked();
      lock.unlock();
      if(module) module->mainLoop();
    }
    catch(detail::ThreadInterrupted&) {
    }
    catch(std::exception& e) {
      reportModuleFailure(path, e.what());
    }
    catch(...) {
      reportModuleFailure(path, "unknown exception");
    }
    // outputs never written reach their readers once, so that nobody waits for ever
    if(!_scheduler->isShuttingDown()) {
      try {
        for(auto* output : _network->outputsOf(node))
          if(!output->everWritten && output->canSend) output->write(false);
      }
      catch(...) {
      }
    }
    std::lock_guard lock(inbox.mutex);
    inbox.setState(detail::Inbox::State::ended);
  }

  void Application::reportModuleFailure(const std::string& modulePath, const std::string& message) {
    Logger::instance().log(Logger::Severity::error, modulePath, "module failed, application shuts down: " + message);
    {
      std::lock_guard lock(_mutex);
      if(_failure.empty()) _failure = modulePath + ": " + message;
    }
    _exitStatus = 1;
    requestShutdown();
  }

  std::string Application::failureMessage() const {
    std::lock_guard lock(_mutex);
    return _failure;
  }

  void Application::requestShutdown() {
    {
      std::lock_guard lock(_mutex);
      _shutdownRequestedFlag = true;
    }
    _shutdownRequested.notify_all();
    _scheduler->requestShutdown();
  }

  void Application::waitForShutdownRequest() {
    std::unique_lock lock(_mutex);
    _shutdownRequested.wait(lock, [&] { return _shutdownRequestedFlag; });
  }

  void Application::shutdown() {
    // the first caller moves to shuttingDown and does the work; a concurrent or later one finds no
    // transition to shuttingDown (the application is shutting down or shut down) and returns
    auto previous = _state.load();
    do {
      if(!isValidTransition(previous, State::shuttingDown)) return;
    } while(!_state.compare_exchange_weak(previous, State::shuttingDown));
    _scheduler->requestShutdown();
    // a task calling exit() leaves its own thread running
    if(_executor) _executor->join();
    if(previous == State::running) {
      for(auto* node : _network->entities())
        if(auto* module = dynamic_cast<Module*>(node->object)) module->deactivate();
    }
    enterState(State::shuttingDown, State::shutDown);
  }

  void Application::lock(const std::string&) {
    auto* inbox = detail::currentInbox();
    if(!inbox) return;
    std::lock_guard lock(inbox->mutex);
    inbox->setState(detail::Inbox::State::running);
  }

  void Application::unlock(const std::string&) {
    auto* inbox = detail::currentInbox();
    if(!inbox) return;
    std::lock_guard lock(inbox->mutex);
    inbox->setState(detail::Inbox::State::released);
  }

  ConfigReader& Application::getConfigReader() const {
    if(!_configReader) throw logic_error("Application " + getName() + " has no configuration reader");
    return *_configReader;
  }

  ControlSystem& Application::getControlSystem() { return *_controlSystem; }

} // namespace Corvane
