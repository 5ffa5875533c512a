#include "OutputVectorCorrection/OpenLoop.h"

namespace OutputVectorCorrection {

  OpenLoop::OpenLoop(Corvane::Module* owner, OVCMain& ovc, const std::string& name, const std::string& description)
  : Corvane::VariableGroup(owner, name, description),
    scaling(this, ovc, "Scaling", "Configuration for amplitude scaling correction"),
    rotation(this, ovc, "Rotation", "Configuration for phase rotation correction"),
    ratio(this, ovc, "Ratio", "Configuration for filling/flattop ratio correction") {}

} // namespace OutputVectorCorrection
