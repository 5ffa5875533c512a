#include "Corvane/ScriptedInitHandler.h"

#include "Corvane/Logger.h"
#include "Corvane/Time.h"

#include <array>
#include <cstdio>
#include <sys/wait.h>

namespace Corvane {

  namespace {
    /// Runs a command through /bin/sh; returns its exit status and combined output.
    std::pair<int, std::string> runCommand(const std::string& command) {
      std::string output;
      std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>&1").c_str(), "r"), pclose);
      if(!pipe) return {-1, "cannot start '" + command + "'"};
      std::array<char, 4096> buffer{};
      std::size_t n;
      while((n = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0) output.append(buffer.data(), n);
      int status = pclose(pipe.release());
      int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      return {exitCode, output};
    }
  } // namespace

  ScriptedInitHandler::ScriptedInitHandler(Module* owner, const std::string& name, const std::string& description,
      const std::string& command, DeviceModule& deviceModule, const std::string& outputName,
      unsigned int errorGracePeriod)
  : ApplicationModule(owner, name, description), _state(std::make_unique<State>()) {
    _state->command = command;
    _state->errorGracePeriod = errorGracePeriod;
    _state->name = deviceModule.getDeviceAlias() + " initialisation";
    _output = ScalarOutput<std::string>(this, outputName, "", "Output of the initialisation script");
    _state->output = static_cast<detail::TypedAccessorNode<std::string>*>(_output.accessorNode());
    deviceModule.addInitialisationHandler([state = _state.get()](Device& device) { state->run(device); });
  }

  void ScriptedInitHandler::State::run(Device& device) {
    auto [exitCode, text] = runCommand(command);
    output->writable()[0] = text;
    output->write(false);
    if(exitCode == 0) {
      firstFailure.reset();
      return;
    }
    auto now = steadyNow();
    if(!firstFailure) firstFailure = now;
    auto message = "initialisation script '" + command + "' of device " + device.getName() +
        " failed with exit status " + std::to_string(exitCode);
    if(now - *firstFailure < std::chrono::seconds(errorGracePeriod)) throw InitialisationPending(message);
    Logger::instance().log(Logger::Severity::error, name, message + ", output:\n" + text);
    throw runtime_error(message);
  }

} // namespace Corvane
