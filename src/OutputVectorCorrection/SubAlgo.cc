#include "OutputVectorCorrection/SubAlgo.h"

#include "OutputVectorCorrection/OVCMain.h"

#include <cmath>

namespace OutputVectorCorrection {

  SubAlgo::SubAlgo(Corvane::Module* owner, OVCMain& ovcModule, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags)
  : Corvane::VariableGroup(owner, name, description, tags), ovc(&ovcModule) {}

  bool SubAlgo::loopRuleHolds(bool closed) const {
    return ovc->enable && enable && ovc->closedLoopActive == closed;
  }

  bool SubAlgo::usable(double value, const std::string& what) {
    if(std::isfinite(value)) return true;
    ovc->setError(what + (std::isnan(value) ? " is NaN" : " is infinite"), Corvane::StatusOutput::WARNING);
    return false;
  }

} // namespace OutputVectorCorrection
