// A correction algorithm with one averaging window ("AveragingWindow") and the count of samples integrated since
// its last average.
#pragma once

#include "OutputVectorCorrection/AveragingWindow.h"
#include "OutputVectorCorrection/SubAlgo.h"

#include <cstdint>

namespace OutputVectorCorrection {

  class SubAlgoAW : public SubAlgo {
   public:
    SubAlgoAW(Corvane::Module* owner, OVCMain& ovc, const std::string& name, const std::string& description,
        const std::unordered_set<std::string>& tags = {});

    AveragingWindow averagingWindow;

   protected:
    std::uint64_t sampleCount{0};
  };

} // namespace OutputVectorCorrection
