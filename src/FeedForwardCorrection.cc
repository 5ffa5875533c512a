#include "FeedForwardCorrection.h"

#include "TableNumerics.h"

#include <cmath>

namespace FeedForwardCorrection {

  std::int32_t addLearned(std::int32_t correction, float learned) {
    if(!std::isfinite(learned)) return correction;
    // single precision on purpose: beyond 2^24 the correction loses its last digits, as the firmware tables
    // have always been computed
    const float sum = static_cast<float>(correction) + learned;
    return TableNumerics::saturatingTruncation<std::int32_t>(sum);
  }

  Unusable sum(const Components& components, std::span<std::int32_t> correction, std::span<double> total) {
    Unusable unusable;
    const bool applyUser = !components.user.empty();
    const bool applyLearned = !components.learned.empty();
    for(std::size_t i = 0; i < components.generated.size(); ++i) {
      std::int32_t value = applyUser ? components.user[i] : 0;
      if(applyLearned) {
        const float learned = components.learned[i];
        if(!std::isfinite(learned) && unusable.count++ == 0) {
          unusable.firstIndex = i;
          unusable.firstValue = learned;
        }
        value = addLearned(value, learned);
      }
      correction[i] = value;
      total[i] = static_cast<double>(value) + components.generated[i];
    }
    return unusable;
  }

} // namespace FeedForwardCorrection
