// ExactMonitor: turns "this value must equal that value" into a status output that the status
// aggregator collects, e.g. a board's error flag that must stay 0.
//
// The module is named "." and placed by its paths, which are relative to the owner (or absolute):
//   inputPath          push input, T        "Value to monitor"
//   requiredValuePath  push input, T        "Value to compare with"        (parameter tags)
//   disablePath        push input, Boolean  "Disable the monitor"          (parameter tags; any
//                                           non-zero number that feeds it counts as true)
//   outputPath         StatusOutput (int32, tagged "_Corvane_StatusOutput_statusOutput",
//                                           plus the output tags)
// At start and on every update of any input it writes OFF (2) while disabled, else OK (0) when
// the monitored value equals the required value, else FAULT (1). Required value and disable flag
// are often constants (EntityOwner::constant), so that the monitor cannot be changed at run time.
#pragma once

#include "Corvane/ApplicationModule.h"
#include "Corvane/ScalarAccessor.h"
#include "Corvane/StatusOutput.h"

#include <cstdint>
#include <string>
#include <unordered_set>

namespace Corvane {

  template<class T>
  class ExactMonitor : public ApplicationModule {
   public:
    /// A placeholder that takes part in nothing until a real monitor is moved over it.
    ExactMonitor() = default;

    ExactMonitor(Module* owner, const std::string& inputPath, const std::string& outputPath,
        const std::string& requiredValuePath, const std::string& disablePath, const std::string& description,
        const std::unordered_set<std::string>& outputTags = {},
        const std::unordered_set<std::string>& parameterTags = {})
    : ApplicationModule(owner, ".", description), input(this, inputPath, "", "Value to monitor"),
      requiredValue(this, requiredValuePath, "", "Value to compare with", parameterTags),
      disableInput(this, disablePath, "", "Disable the monitor", parameterTags),
      status(this, outputPath, description, outputTags) {}

    ExactMonitor(ExactMonitor&&) noexcept = default;
    ExactMonitor& operator=(ExactMonitor&&) noexcept = default;

    ScalarPushInput<T> input;
    ScalarPushInput<T> requiredValue;
    ScalarPushInput<Boolean> disableInput;
    StatusOutput status;

    void mainLoop() override {
      auto group = readAnyGroup();
      while(true) {
        if(disableInput) status = StatusOutput::OFF;
        else status = input.value() == requiredValue.value() ? StatusOutput::OK : StatusOutput::FAULT;
        status.write();
        group.readAny();
      }
    }
  };

} // namespace Corvane
