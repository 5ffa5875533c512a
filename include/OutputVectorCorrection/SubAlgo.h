// Base of the seven correction algorithms of the output vector correction. Each is a directory of process
// variables below the module ("OpenLoop/Scaling", "ClosedLoop/Forward", ...) with its own enable and gain.
//
// The module's main loop drives every algorithm in a fixed order, in its own thread: integrate() once per
// consistent macro-pulse, computeAverage() after every "nAveragedTriggers" of them, then compute() when the
// module lets the correction act. compute() changes the module's scale, angle or flat-top ratio in place; the main
// loop writes scale and angle, the ratio algorithms write the ratio themselves.
#pragma once

#include <Corvane/ScalarAccessor.h>
#include <Corvane/VariableGroup.h>

namespace OutputVectorCorrection {

  class OVCMain;

  class SubAlgo : public Corvane::VariableGroup {
   public:
    /// `ovc` is the module that owns the algorithm (through `owner`, its group) and outlives it.
    SubAlgo(Corvane::Module* owner, OVCMain& ovc, const std::string& name, const std::string& description,
        const std::unordered_set<std::string>& tags = {});

    /// Whether the algorithm must integrate and average now (it may while disabled: others read its averages).
    virtual bool needAverage() { return isEnabled(); }
    /// Whether the algorithm may change the module's outputs now.
    virtual bool isEnabled() = 0;

    virtual void integrate() = 0;
    virtual void computeAverage() = 0;
    virtual void compute() = 0;

    Corvane::ScalarPushInput<Corvane::Boolean> enable{this, "enable", "", "Enable correction"};
    Corvane::ScalarPushInput<double> gain{this, "gain", "", "Adaptation gain"};

   protected:
    /// The module and this algorithm are enabled, and the loop is open (`closed` false) or closed (true).
    bool loopRuleHolds(bool closed) const;
    /// True for a finite `value`; otherwise reports "<what> is NaN" (or "is infinite") as a WARNING.
    bool usable(double value, const std::string& what);

    OVCMain* ovc;
  };

} // namespace OutputVectorCorrection
