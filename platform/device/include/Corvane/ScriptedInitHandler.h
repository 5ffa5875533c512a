// Initialisation of a device by a shell command (a board's init script), run whenever the
// device is opened or recovered. The command runs on the device's recovery thread as a child
// process (see ChildProcess: /bin/sh in the working directory, a process group of its own,
// standard input /dev/null, no descriptor of the server but its standard output and error);
// its standard output and error are published as a string variable when it ends.
//
// A non-zero exit status, or a command still running after `timeLimit` (a background process
// of it that holds its output counts as running; the limit is measured on the real clock, also
// in tests, as the command runs in real time), fails the initialisation, which the
// device's recovery retries every second; a command over its limit is stopped (its whole
// process group: SIGTERM, SIGKILL after a short grace) and what it printed so far is published.
// For `errorGracePeriod` seconds after the start of the first failing run of a series the
// script is retried silently; after that the device status turns FAULT and the script's output
// is logged. Shutdown interrupts a running command at once and stops it the same way.
#pragma once

#include <Corvane/ApplicationModule.h>
#include <Corvane/DeviceModule.h>
#include <Corvane/ScalarAccessor.h>

#include <Corvane/Time.h>

#include <chrono>
#include <optional>

namespace Corvane {

  class ScriptedInitHandler : public ApplicationModule {
   public:
    ScriptedInitHandler() = default;
    ScriptedInitHandler(Module* owner, const std::string& name, const std::string& description,
        const std::string& command, DeviceModule& deviceModule, const std::string& outputName = "initScriptOutput",
        unsigned int errorGracePeriod = 10, std::chrono::milliseconds timeLimit = defaultTimeLimit);

    /// How long a command may run before it counts as failed and is stopped, unless given.
    static constexpr std::chrono::milliseconds defaultTimeLimit{std::chrono::seconds(60)};

    /// Publishes the empty output before the threads start: from then on only the device's
    /// recovery thread, which runs the script, writes it (the module's own thread would otherwise
    /// publish the never-written output when it ends, racing with a first run of the script).
    void prepare() override { _output.write(); }
    void mainLoop() override {}

   private:
    // kept on the heap so that the device's handler stays valid when this module is moved
    struct State {
      std::string command;
      std::string name;
      unsigned int errorGracePeriod{10};
      std::chrono::milliseconds timeLimit{defaultTimeLimit};
      std::optional<SteadyClock::time_point> firstFailure;
      detail::TypedAccessorNode<std::string>* output{nullptr};
      void run(Device& device);
    };

    std::unique_ptr<State> _state;
    ScalarOutput<std::string> _output;
  };

} // namespace Corvane
