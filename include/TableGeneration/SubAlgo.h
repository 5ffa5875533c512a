// Base of the table generation's sub-algorithm groups (pulse shape,
// feed-forward, set-point, ...): a variable group of the TGenMain module that
// knows the configured pulse, reaches the module's other groups, and checks its
// own consistency with safeAssert, which reports a broken invariant and lets
// the computation go on.
#pragma once

#include <Corvane/VariableGroup.h>

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>

namespace TableGeneration {

  class TGenMain;

  class SubAlgo : public Corvane::VariableGroup {
   public:
    SubAlgo(TGenMain* owner, const std::string& name, const std::string& description,
        const std::unordered_set<std::string>& tags);
    /// A placeholder for a feature that is not configured: no owner, no process
    /// variables, and the per-bunch switch off, so that its operations do nothing.
    SubAlgo();

    /// When `condition` is false: logs "safe_assert in <file> (<line>) failed:
    /// !(<conditionText>)" as an error, reports "safe_assert <line> failed,
    /// notify developer!" through the module's error message, then runs
    /// `onFailure` (the caller's repair, may be empty).
    void safeAssert(bool condition, const char* conditionText, const char* file, std::int32_t line,
        const std::function<void()>& onFailure) const;

   protected:
    std::uint64_t _pulseLength;
    bool _enablePerBunchSetpoints;
    TGenMain* _m; // the owning module, which outlives its groups
  };

} // namespace TableGeneration
