#include "OutputVectorCorrection/ClosedLoop.h"

namespace OutputVectorCorrection {

  ClosedLoop::ClosedLoop(Corvane::Module* owner, OVCMain& ovc, const std::string& name, const std::string& description)
  : Corvane::VariableGroup(owner, name, description),
    scaling(this, ovc, "Scaling", "Configuration for amplitude scaling correction"),
    rotation(this, ovc, "Rotation", "Configuration for phase rotation correction"),
    ratio(this, ovc, "Ratio", "Configuration for flattop ratio correction"),
    forward(this, ovc, "Forward", "Configuration for forward-only correction") {}

} // namespace OutputVectorCorrection
