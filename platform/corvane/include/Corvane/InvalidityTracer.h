// InvalidityTracer: a debugging aid that lists, on request, every process variable whose current
// value is marked faulty, to find where invalid data enters the application.
//
// Writing any value to the push input "printTrace" (int32, a command: tagged Tags::command) prints
// the trace to standard output, in one piece, in this format:
//   Invalidity trace of <module path>: <n> of <m> process variables hold invalid data
//     <variable path> version <number> at <YYYY-MM-DD HH:MM:SS.mmm>
//     ...
// one line per faulty variable in path order; the time is the version's time stamp (UTC).
// Variables that never received a value are not listed. The initial value of "printTrace" does
// not print anything.
#pragma once

#include "Corvane/ApplicationModule.h"
#include "Corvane/ScalarAccessor.h"

#include <cstdint>
#include <string>
#include <unordered_set>

namespace Corvane {

  class ControlSystem;

  class InvalidityTracer : public ApplicationModule {
   public:
    /// A placeholder that takes part in nothing until a real tracer is moved over it.
    InvalidityTracer() = default;

    InvalidityTracer(Module* owner, const std::string& name, const std::string& description,
        const std::unordered_set<std::string>& tags = {});

    InvalidityTracer(InvalidityTracer&&) noexcept = default;
    InvalidityTracer& operator=(InvalidityTracer&&) noexcept = default;

    ScalarPushInput<std::int32_t> printTrace;

    void mainLoop() override;

    /// The trace text (see above), with `title` after "Invalidity trace of ".
    static std::string trace(const ControlSystem& controlSystem, const std::string& title);
  };

} // namespace Corvane
