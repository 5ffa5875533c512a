#include "OutputVectorCorrection/OpenLoopSubAlgo.h"

namespace OutputVectorCorrection::OpenLoopAlgorithm {

  bool OpenLoopSubAlgo::isEnabled() { return loopRuleHolds(false); }

} // namespace OutputVectorCorrection::OpenLoopAlgorithm
