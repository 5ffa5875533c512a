// Initialisation of a device by a shell command (a board's init script), run whenever the
// device is opened or recovered. The command runs through /bin/sh in the working directory;
// its standard output and error are published as a string variable. A non-zero exit status
// fails the initialisation, which the device's recovery retries every second. For
// `errorGracePeriod` seconds after the first failure of a series the script is retried
// silently; after that the device status turns FAULT and the script's output is logged.
#pragma once

#include <Corvane/ApplicationModule.h>
#include <Corvane/DeviceModule.h>
#include <Corvane/ScalarAccessor.h>

#include <Corvane/Time.h>

#include <optional>

namespace Corvane {

  class ScriptedInitHandler : public ApplicationModule {
   public:
    ScriptedInitHandler() = default;
    ScriptedInitHandler(Module* owner, const std::string& name, const std::string& description,
        const std::string& command, DeviceModule& deviceModule, const std::string& outputName = "initScriptOutput",
        unsigned int errorGracePeriod = 10);

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
      std::optional<SteadyClock::time_point> firstFailure;
      detail::TypedAccessorNode<std::string>* output{nullptr};
      void run(Device& device);
    };

    std::unique_ptr<State> _state;
    ScalarOutput<std::string> _output;
  };

} // namespace Corvane
