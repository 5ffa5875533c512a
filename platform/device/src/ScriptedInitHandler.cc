#include "Corvane/ScriptedInitHandler.h"

#include "Corvane/ChildProcess.h"
#include "Corvane/Logger.h"
#include "Corvane/Time.h"
#include "Corvane/detail/Scheduler.h"

#include <mutex>

namespace Corvane {

  namespace {
    struct ScriptRun {
      std::string startError; // when it could not be started at all
      bool finished{false};
      int exitCode{-1};
      int endingSignal{0};
      std::string output;
    };

    /// Runs a command as a child process, waiting at most `timeLimit` for its end. On a module
    /// thread the wait is the thread's own (its inbox), so that shutdown interrupts it: the
    /// child is then stopped while the thread unwinds.
    ScriptRun runCommand(const std::string& command, std::chrono::milliseconds timeLimit) {
      auto* inbox = detail::currentInbox();
      std::mutex ownMutex; // outside module threads
      detail::TaskCondition ownChange;
      auto& mutex = inbox ? inbox->mutex : ownMutex;
      auto& change = inbox ? inbox->cv : ownChange;
      ChildProcess child(command, [&] {
        std::lock_guard lock(mutex);
        change.notify_all();
      });
      auto deadline = SteadyClock::now() + timeLimit;
      auto finished = [&] { return child.hasFinished(); };
      {
        std::unique_lock lock(mutex);
        if(inbox) inbox->waitForOutside(lock, finished, deadline);
        else change.wait_until(lock, deadline, finished);
      }
      ScriptRun run;
      run.finished = child.hasFinished();
      if(!run.finished) child.stop();
      run.exitCode = child.exitCode();
      run.endingSignal = child.endingSignal();
      run.output = child.output();
      return run;
    }

    std::string describe(std::chrono::milliseconds duration) {
      if(duration.count() % 1000 == 0) return std::to_string(duration.count() / 1000) + " s";
      return std::to_string(duration.count()) + " ms";
    }

    /// The end of the message of a failed run, after the script and device are named.
    std::string whatFailed(const ScriptRun& run, std::chrono::milliseconds timeLimit) {
      if(!run.startError.empty()) return ": " + run.startError;
      if(!run.finished) return " did not end within its time limit of " + describe(timeLimit) + " and was stopped";
      if(run.endingSignal != 0) return " was ended by signal " + std::to_string(run.endingSignal);
      return " failed with exit status " + std::to_string(run.exitCode);
    }
  } // namespace

  ScriptedInitHandler::ScriptedInitHandler(Module* owner, const std::string& name, const std::string& description,
      const std::string& command, DeviceModule& deviceModule, const std::string& outputName,
      unsigned int errorGracePeriod, std::chrono::milliseconds timeLimit)
  : ApplicationModule(owner, name, description), _state(std::make_unique<State>()) {
    _state->command = command;
    _state->errorGracePeriod = errorGracePeriod;
    _state->timeLimit = timeLimit;
    _state->name = deviceModule.getDeviceAlias() + " initialisation";
    _output = ScalarOutput<std::string>(this, outputName, "", "Output of the initialisation script");
    _state->output = static_cast<detail::TypedAccessorNode<std::string>*>(_output.accessorNode());
    deviceModule.addInitialisationHandler([state = _state.get()](Device& device) { state->run(device); });
  }

  void ScriptedInitHandler::State::run(Device& device) {
    auto started = steadyNow();
    ScriptRun script;
    const auto prefix = "initialisation script '" + command + "' of device " + device.getName();
    try {
      script = runCommand(command, timeLimit);
    }
    catch(runtime_error& e) {
      script.startError = e.what(); // a failed run like any other
      script.output = script.startError;
    }
    output->writable()[0] = script.output;
    output->write(false);
    if(script.startError.empty() && script.finished && script.exitCode == 0) {
      firstFailure.reset();
      return;
    }
    // a series of failures begins when its first run began: a run over the limit has taken that long already
    if(!firstFailure) firstFailure = started;
    auto message = prefix + whatFailed(script, timeLimit);
    if(steadyNow() - *firstFailure < std::chrono::seconds(errorGracePeriod)) throw InitialisationPending(message);
    Logger::instance().log(Logger::Severity::error, name, message + ", output:\n" + script.output);
    throw runtime_error(message);
  }

} // namespace Corvane
