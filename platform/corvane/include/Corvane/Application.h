// The application: root of the module tree, owner of the variable network and the threads.
//
// Life cycle: the states and the transitions allowed between them (one table in Application.cc,
// checked at every transition; an invalid one throws logic_error naming the application and
// both states):
//   constructed  -> initialised    initialise(): connect the network
//   initialised  -> running        run(): activate devices, prepare every module, deliver initial
//                                  values, start every application module's task (run() in
//                                  state constructed initialises first)
//   constructed, initialised, running -> shuttingDown -> shutDown
//                                  shutdown(): interrupt every blocking call, end the tasks
// shutdown() in state shuttingDown or shutDown does nothing (it is idempotent). Only one
// application exists at a time; getInstance() returns it.
//
// Destruction: the members of a derived application are destroyed before this base destructor
// runs, so the base cannot stop the module threads in time by itself. Whoever owns the
// application calls shutdown() before destroying it: a TestFacility does it in its destructor
// (declare it after the application), a program's holder of its static application object in its
// own. Derived classes need no destructor for it. An application destroyed while it is running
// (or while another thread is still shutting it down) is a programming error that would let
// module threads use destroyed members: the destructor then writes the application's name to
// stderr and aborts the process.
//
// Tasks: each application module's main loop is a task. The tasks of one execution group run
// as cooperative fibers on one worker thread (Module::setExecutionGroup(); a module belongs to its
// owner's group, modules without one form one group); a module that asked for a thread of its own
// gets one (Module::requestOwnThread()). Every wait of the framework suspends the task, not the
// thread. "Module thread" below means a module's task. See detail/Executor.h.
//
// Threads:
//   - construction, initialise(), run(), generateXML(), generateDOT() and the configuration
//     setters (setQueueLength(), setControlSystemPublishing(), setConfigReader()): the thread
//     that owns the application, never a module thread;
//   - shutdown(): any thread, including a module thread (std::exit from a module thread); when
//     several call it at once, the first does the work and the others return at once;
//   - getState(), exitStatus(), failureMessage(), requestShutdown(), waitForShutdownRequest(),
//     reportModuleFailure(), getInstance(), hasInstance(): any thread;
//   - lock()/unlock(): a module thread, for itself.
// Destroy the application on the owning thread after shutdown() has returned.
#pragma once

#include "Corvane/ModuleGroup.h"
#include "Corvane/detail/Executor.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Corvane {

  class ConfigReader;
  class ControlSystem;

  namespace detail {
    class Network;
    class Scheduler;
  } // namespace detail

  class Application : public ModuleGroup {
   public:
    enum class State { constructed, initialised, running, shuttingDown, shutDown };

    explicit Application(const std::string& name);
    ~Application() override;
    Application(Application&&) = delete;
    Application& operator=(Application&&) = delete;

    /// The one application of the process. Throws logic_error when there is none.
    static Application& getInstance();
    static bool hasInstance();

    /// Resolves every accessor to its path and connects the variable network. Throws
    /// logic_error for wiring conflicts, naming the path and every participant.
    virtual void initialise();

    /// Starts the application (initialising first if needed) and returns once every module
    /// thread runs. A StartUpRefusal from a module's prepare() ends the process with its text.
    virtual void run();

    /// Stops every thread; no module code runs afterwards. Idempotent; any thread may call it.
    virtual void shutdown();

    /// Blocks until a shutdown was requested (by a failing module or requestShutdown()).
    void waitForShutdownRequest();
    /// Asks for shutdown from any thread (signal handlers use a self-pipe or a flag instead).
    void requestShutdown();

    /// The current state; any thread may read it.
    State getState() const { return _state.load(); }

    /// Non-zero after a module ended with an exception; the message names the module.
    int exitStatus() const { return _exitStatus.load(); }
    std::string failureMessage() const;

    /// Worker threads for the execution groups (0, the default: one per core). Before run().
    void setWorkerCount(std::size_t workers) { _executorSettings.workers = workers; }
    /// A task that keeps its worker this long without waiting is reported (default 2 s): logged
    /// as an error naming the module, and passed to the observer if one is set. Before run().
    void setYieldLimit(std::chrono::milliseconds limit) { _executorSettings.yieldLimit = limit; }
    void setUnyieldingTaskObserver(std::function<void(const std::string& modulePath)> observer) {
      _unyieldingTaskObserver = std::move(observer);
    }
    /// Threads that run module tasks (workers and modules with threads of their own); 0 before run().
    std::size_t taskThreadCount() const;

    /// Testable-mode lock of the calling module thread: while released, the test facility may
    /// regard the thread as idle (it waits for something outside the application).
    void lock(const std::string& name);
    void unlock(const std::string& name);

    /// The application's configuration (set by the ConfigReader that the application builds).
    ConfigReader& getConfigReader() const;
    void setConfigReader(ConfigReader* reader) { _configReader = reader; }
    ConfigReader* configReaderPointer() const { return _configReader; }

    ControlSystem& getControlSystem();
    detail::Scheduler& scheduler() { return *_scheduler; }
    detail::Network& network() { return *_network; }

    /// Push-queue length of inputs connected from now on (default 3).
    void setQueueLength(std::size_t length) { _queueLength = length; }
    std::size_t queueLength() const { return _queueLength; }

    /// Whether the control system receives every value (default). The transport benchmark
    /// switches it off to measure the module-to-module path alone.
    void setControlSystemPublishing(bool enabled) { _publishToControlSystem = enabled; }
    bool controlSystemPublishing() const { return _publishToControlSystem; }

    /// Reports a module's failure: logs it, records a non-zero exit status, asks for shutdown.
    void reportModuleFailure(const std::string& modulePath, const std::string& message);

    /// Write "<name>.xml" (the variable list, format in XmlVariableList.h) and "<name>.dot" (the
    /// module graph, DotModuleGraph.h) into the working directory. Need no initialise() and open
    /// nothing; throw logic_error for wiring the network would refuse, runtime_error when the
    /// file cannot be written.
    void generateXML();
    void generateDOT();

   private:
    /// Moves from `from` to `to`; throws logic_error naming the application and both states when
    /// the table does not allow it or another thread changed the state meanwhile.
    void enterState(State from, State to);
    /// Throws logic_error (naming `action`, the application and the state) unless the current
    /// state may move to `to`.
    void requireTransition(State to, const char* action) const;
    void startTasks();
    void runModuleThread(detail::EntityNode* moduleNode);

    std::atomic<State> _state{State::constructed};
    std::unique_ptr<detail::Scheduler> _scheduler;
    std::unique_ptr<detail::Network> _network;
    std::unique_ptr<ControlSystem> _controlSystem;
    ConfigReader* _configReader{nullptr};
    detail::Executor::Settings _executorSettings;
    std::function<void(const std::string&)> _unyieldingTaskObserver;
    std::unique_ptr<detail::Executor> _executor;
    std::size_t _queueLength{3};
    bool _publishToControlSystem{true};
    std::atomic<int> _exitStatus{0};
    mutable std::mutex _mutex;
    std::condition_variable _shutdownRequested;
    bool _shutdownRequestedFlag{false};
    std::string _failure;
  };

} // namespace Corvane
