#include "OutputVectorCorrection/SubAlgoAW.h"

namespace OutputVectorCorrection {

  SubAlgoAW::SubAlgoAW(Corvane::Module* owner, OVCMain& ovcModule, const std::string& name,
      const std::string& description, const std::unordered_set<std::string>& tags)
  : SubAlgo(owner, ovcModule, name, description, tags),
    averagingWindow(this, ovcModule, "AveragingWindow", "Window for averageing input values") {}

} // namespace OutputVectorCorrection
